#!/usr/bin/python3
"""Summarises a MIME message (what msgconvert made of a .msg file) as JSON for the tests:
subject, To and Cc, the plain-text body and every attachment (file name, size, SHA-256 of the
decoded bytes; an attached message is listed with its own summary)."""

import email
import email.policy
import hashlib
import json
import sys


def leaves(part):
    """The parts that are not containers; an attached message counts as one part."""
    if part.is_multipart() and part.get_content_type() != "message/rfc822":
        for child in part.get_payload():
            yield from leaves(child)
    else:
        yield part


def summary(message):
    result = {"subject": str(message.get("Subject", "")), "to": str(message.get("To", "")),
              "cc": str(message.get("Cc", "")), "body": "", "attachments": []}
    for part in leaves(message):
        if part.get_content_type() == "message/rfc822":
            inner = part.get_payload()[0] if part.is_multipart() else part.get_payload()
            result["attachments"].append({"message": summary(inner)})
            continue
        filename = part.get_filename()
        if filename is None and part.get_content_type() == "text/plain" and not result["body"]:
            result["body"] = part.get_content()
        elif filename is not None:
            data = part.get_payload(decode=True) or b""
            result["attachments"].append({"name": filename, "size": len(data),
                                          "sha256": hashlib.sha256(data).hexdigest()})
    return result


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as f:
        parsed = email.message_from_binary_file(f, policy=email.policy.default)
    json.dump(summary(parsed), sys.stdout, indent=1)
