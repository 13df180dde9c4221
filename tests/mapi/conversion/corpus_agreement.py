#!/usr/bin/python3
"""Compares the converter's MIME with what readpst extracts from the same PST files.

    corpus_agreement.py ROOT

ROOT holds, for each PST file NAME, NAME-ours/ (the converted mail items) and NAME-readpst/ (what
`readpst -e` wrote). Every .eml file is read with Python's email package. Messages are paired by
subject; a pair agrees when the senders and the attachment file names agree. Prints JSON:
{"NAME": {"ours": n, "readpst": m, "defects": [...], "explained": [...], "unexplained": [...]}}.

Differences that are readpst's, not ours, are "explained":
- readpst leaves some items of a file out (two in 09-tghanem, seven in 24-aspose);
- readpst writes MAILER-DAEMON or the sending account's address where a message names its sender
  only by an Exchange address, which the import resolves through the directory (none in tests);
- readpst adds the RTF body as "rtf-body.rtf" and an iCalendar file ("i<number>.ics") to meeting
  requests, and names attachments that have no file name "ATT<number>";
- readpst does not give attached messages a file name (we name them after their display name) and
  drops the attachments inside them; it leaves OLE and reference attachments out;
- readpst writes report messages (non-delivery reports), which an import does not take as mail.
Parser defects are listed unless they come from the source data: Exchange addresses left empty
without a directory, addresses and message ids that the original message already had malformed,
and file names sent as encoded words.
"""

import collections
import email
import email.policy
import json
import pathlib
import re
import sys

ADDRESS_FIELDS = ("From", "To", "Cc", "Bcc", "Reply-To", "Sender", "Message-ID")


def file_names(part, files, messages, inside=False):
    """Attachment file names at the top (files["top"]) and inside attached messages
    (files["nested"]), and the names of attached messages."""
    for child in part.iter_parts():
        if child.get_content_type() == "message/rfc822":
            if child.get_filename() is not None:
                messages.append(str(child.get_filename()))
            for inner in child.iter_parts():
                file_names(inner, files, messages, True)
            continue
        if child.get_filename() is not None:
            # Attachments without content (OLE objects, references) carry only their headers.
            carried = child.get_payload() or inside
            files["nested" if inside else "top" if carried else "contentless"].append(str(child.get_filename()))
        file_names(child, files, messages, inside)


def from_source(name, value):
    """Whether a header defect comes from the source data rather than from the conversion."""
    text = str(value)
    if name == "Message-ID":
        return True  # the original message's own identifier, copied as it is
    if name in ADDRESS_FIELDS:
        # Exchange addresses that no directory resolved, and addresses stored without a domain.
        return "<>" in text or any("@" not in a.addr_spec for a in getattr(value, "addresses", ()))
    if name == "Content-Disposition":
        return any(ord(c) > 127 for c in text)  # non-ASCII file names travel as encoded words
    return False


def defects(message):
    found = []
    for part in message.walk():
        found += [type(defect).__name__ for defect in part.defects]
        for name, value in part.items():
            for defect in getattr(value, "defects", ()):
                if not from_source(name, value):
                    found.append("%s in %s: %s" % (type(defect).__name__, name, value))
    return found


def summary(path):
    with open(path, "rb") as handle:
        message = email.message_from_binary_file(handle, policy=email.policy.default)
    sender = message.get("From")
    addresses = [a.addr_spec for a in sender.addresses] if sender is not None else []
    files, messages = {"top": [], "nested": [], "contentless": []}, []
    file_names(message, files, messages)
    return {"file": path.name, "subject": re.sub(r"\s+", " ", str(message.get("Subject", ""))).strip(),
            "from": (addresses[0] if addresses else "").strip("<>").lower(), "files": files["top"],
            "nested": files["nested"], "contentless": files["contentless"], "messages": messages, "defects": defects(message)}


def readpst_files(names):
    """readpst's attachment names without what it adds; invented names count but do not compare."""
    kept = [n for n in names if n != "rtf-body.rtf" and not re.fullmatch(r"i\d+\.ics", n)]
    return sorted(n for n in kept if not re.fullmatch(r"ATT\d+", n)), len(kept)


def agrees(ours, theirs, strict):
    if strict:
        return ours["from"] == theirs["from"] and sorted(ours["files"] + ours["contentless"]) == sorted(
            n for n in theirs["files"] if n != "rtf-body.rtf")
    named, count = readpst_files(theirs["files"])
    files_agree = sorted(ours["files"]) == named if count == len(named) else len(ours["files"]) == count
    sender_agrees = ours["from"] in (theirs["from"], "") or theirs["from"] == "mailer-daemon"
    return files_agree and sender_agrees


def compare(ours_dir, readpst_dir):
    ours = [summary(p) for p in sorted(ours_dir.rglob("*.eml"))]
    theirs = [summary(p) for p in sorted(readpst_dir.rglob("*.eml"))]
    by_subject = collections.defaultdict(list)
    for message in theirs:
        by_subject[message["subject"]].append(message)
    result = {"ours": len(ours), "readpst": len(theirs), "defects": [], "explained": [], "unexplained": []}
    for message in ours:
        result["defects"] += ["%s: %s" % (message["file"], d) for d in message["defects"]]
    # Exact pairs first, so that a lenient rule cannot take another message's partner.
    unpaired = []
    for strict in (True, False):
        remaining = []
        for message in (ours if strict else unpaired):
            candidates = by_subject.get(message["subject"], [])
            match = next((c for c in candidates if agrees(message, c, strict)), None)
            if match is None:
                remaining.append(message)
                continue
            candidates.remove(match)
            if len(message["nested"]) > len(match["nested"]):
                result["explained"].append("readpst drops attachments of attached messages: " + message["subject"])
            if message["contentless"] and not strict:
                result["explained"].append("readpst leaves out OLE and reference attachments: " + message["subject"])
        unpaired = remaining
    for message in unpaired:
        candidates = by_subject.get(message["subject"], [])
        if not candidates:
            result["explained"].append("readpst left out: %s" % message["subject"])
        else:
            result["unexplained"].append("%s: ours from %r files %r, readpst from %r files %r" % (
                message["subject"], message["from"], message["files"], candidates[0]["from"],
                candidates[0]["files"]))
    subjects = {m["subject"] for m in ours}
    for message in theirs:
        if message["subject"] not in subjects:
            kind = "explained" if message["subject"].startswith("Undeliverable:") else "unexplained"
            result[kind].append("only readpst has: %s" % message["subject"])
    return result


if __name__ == "__main__":
    root = pathlib.Path(sys.argv[1])
    report = {}
    for ours_dir in sorted(root.glob("*-ours")):
        name = ours_dir.name[: -len("-ours")]
        report[name] = compare(ours_dir, root / (name + "-readpst"))
    json.dump(report, sys.stdout, indent=1, ensure_ascii=False)
