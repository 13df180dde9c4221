#!/usr/bin/python3
"""Prints, as a JSON list, what Python's email package reads from each MIME message file given.

The round-trip tests compare this with what our own parser reads: the tree of parts with their
media types, parameters, file names and decoded payloads (SHA-256 and size), the decoded subject and
the addresses, and every defect the parser reports.

Display names are decoded with the classic email.utils/email.header functions: the address parser
of email.policy.default keeps the white space between adjacent encoded words, which RFC 2047
(section 6.2) says to drop. Group members are listed with the other addresses; group names apart.
"""
import email
import email.header
import email.policy
import email.utils
import hashlib
import json
import sys


def addresses(message, name):
    raw = message.get_all(name, failobj=[])
    if not raw:
        return None
    mailboxes = []
    for display_name, address in email.utils.getaddresses([str(r) for r in raw]):
        decoded = str(email.header.make_header(email.header.decode_header(display_name)))
        mailboxes.append([decoded, address])
    return {"mailboxes": mailboxes}


def describe(part):
    params = part.get_params()
    description = {
        "type": part.get_content_type(),
        "params": {key: str(value) for key, value in params[1:]} if params else {},
        "filename": part.get_filename(),
    }
    payload = part.get_payload()
    if isinstance(payload, list):
        description["parts"] = [describe(p) for p in payload]
    else:
        data = part.get_payload(decode=True) or b""
        description["payload"] = {"sha256": hashlib.sha256(data).hexdigest(), "size": len(data)}
    return description


def describe_file(path):
    with open(path, "rb") as f:
        data = f.read()
    message = email.message_from_bytes(data, policy=email.policy.default)
    raw_headers = email.message_from_bytes(data, policy=email.policy.compat32)
    defects = [type(d).__name__ for part in message.walk() for d in part.defects]
    headers = {}
    for name in ("From", "Sender", "To", "Cc", "Bcc", "Reply-To"):
        if message[name] is not None:
            headers[name] = addresses(raw_headers, name)
            headers[name]["groups"] = [g.display_name for g in message[name].groups
                                       if g.display_name is not None]
    if message["Subject"] is not None:
        headers["Subject"] = " ".join(str(message["Subject"]).split())
    return {"defects": defects, "headers": headers, "tree": describe(message)}


def main():
    print(json.dumps([describe_file(path) for path in sys.argv[1:]], ensure_ascii=False, sort_keys=True))


if __name__ == "__main__":
    main()
