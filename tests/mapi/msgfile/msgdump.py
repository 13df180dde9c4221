#!/usr/bin/python3
"""Reads an Outlook message file with olefile and prints what it holds as JSON, for the tests.

Written apart from the C++ writer, from the file formats: the compound file is opened by olefile
(which refuses even doubtful structures here); the message layout is decoded below. Everything
that does not agree with the formats is listed under "problems": directory trees that are not
valid red-black trees in sibling order, entries nothing points to, sizes that disagree with their
streams, gaps in recipient or attachment numbers, named-property lookup streams that miss entries.

With --cfb, only the compound file: {"version", "problems", "streams": {path: bytes},
"storages": {path: clsid}}.

Output: {"version", "clsid", "problems", "named": [...], "message": object} where an object is
{"header", "properties": {"TTTTtttt": value}, "recipients": [...], "attachments": [...],
"embedded": object or null, "clsid"}. Binary values are hex text, or "sha256:<digest>:<size>"
when longer than 64 KiB.
"""

import hashlib
import json
import re
import struct
import sys
import zlib

import olefile

NOSTREAM = 0xFFFFFFFF
RED = 0
INLINE_FORMATS = {0x0002: "<h", 0x0003: "<i", 0x0004: "<f", 0x0005: "<d", 0x0006: "<q", 0x0007: "<d",
                  0x000A: "<I", 0x0014: "<q", 0x0040: "<q"}
MULTI_FIXED = {0x1002: "<h", 0x1003: "<i", 0x1004: "<f", 0x1005: "<d", 0x1006: "<q", 0x1007: "<d",
               0x1014: "<q", 0x1040: "<q"}
BINARY_TYPES = (0x0102, 0x00FB, 0x00FD, 0x00FE)


class Dump:
    def __init__(self, path):
        self.ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_POTENTIAL)
        self.problems = []

    def problem(self, text):
        self.problems.append(text)

    def read(self, path):
        return self.ole.openstream(path).read()

    def exists(self, path):
        return self.ole.exists("/".join(path))

    # -- compound file -------------------------------------------------------------------------

    def check_trees(self):
        reached = set()

        def key(entry):
            return (len(entry.name), entry.name.upper())

        def walk(sid, parent_red, in_order, where):
            """Returns the black height of the subtree."""
            if sid == NOSTREAM:
                return 1
            if sid in reached:
                self.problem(f"{where}: entry {sid} is reached twice")
                return 1
            reached.add(sid)
            entry = self.ole.direntries[sid]
            red = entry.color == RED
            if red and parent_red:
                self.problem(f"{where}: red entry {entry.name!r} has a red parent")
            left = walk(entry.sid_left, red, in_order, where)
            in_order.append(entry)
            right = walk(entry.sid_right, red, in_order, where)
            if left != right:
                self.problem(f"{where}: black heights differ below {entry.name!r}")
            if entry.entry_type in (1, 5):
                storage(entry, f"{where}/{entry.name}")
            return left + (0 if red else 1)

        def storage(entry, where):
            in_order = []
            if entry.sid_child != NOSTREAM and self.ole.direntries[entry.sid_child].color == RED:
                self.problem(f"{where}: the top of the tree is red")
            walk(entry.sid_child, False, in_order, where)
            keys = [key(e) for e in in_order]
            if any(a >= b for a, b in zip(keys, keys[1:])):
                self.problem(f"{where}: children out of order: {[e.name for e in in_order]}")

        reached.add(0)
        storage(self.ole.root, "")
        raw = self.ole.directory_fp
        raw.seek(0)
        data = raw.read()
        used = {i for i in range(len(data) // 128) if data[i * 128 + 66] != 0}
        if used != reached:
            self.problem(f"directory entries not in any tree: {sorted(used - reached)}")

    # -- message file --------------------------------------------------------------------------

    def value(self, path, tag, flags, raw):
        ptype = tag & 0xFFFF
        stream = path + ["__substg1.0_%08X" % tag]
        size = struct.unpack("<I", raw[:4])[0]
        if ptype in INLINE_FORMATS:
            return struct.unpack_from(INLINE_FORMATS[ptype], raw)[0]
        if ptype == 0x000B:
            return raw[0] != 0
        if ptype == 0x000D:
            if size != 0xFFFFFFFF:
                self.problem(f"{'/'.join(stream)}: object size {size:#x}")
            return {"object": True}
        if ptype == 0x001F:
            data = self.read(stream)
            if size != len(data) + 2:
                self.problem(f"{'/'.join(stream)}: size {size} for {len(data)} bytes of text")
            return data.decode("utf-16-le")
        if ptype in BINARY_TYPES or ptype == 0x0048:
            data = self.read(stream)
            if size != len(data):
                self.problem(f"{'/'.join(stream)}: size {size} for {len(data)} bytes")
            return guid_text(data) if ptype == 0x0048 else binary_text(data)
        if ptype in MULTI_FIXED or ptype == 0x1048:
            data = self.read(stream)
            if size != len(data):
                self.problem(f"{'/'.join(stream)}: size {size} for {len(data)} bytes")
            if ptype == 0x1048:
                return [guid_text(data[i:i + 16]) for i in range(0, len(data), 16)]
            fmt = MULTI_FIXED[ptype]
            return [v[0] for v in struct.iter_unpack(fmt, data)]
        if ptype in (0x101F, 0x1102):
            lengths_data = self.read(stream)
            if size != len(lengths_data):
                self.problem(f"{'/'.join(stream)}: size {size} for {len(lengths_data)} bytes of lengths")
            width = 4 if ptype == 0x101F else 8
            lengths = [struct.unpack_from("<I", lengths_data, i)[0] for i in range(0, len(lengths_data), width)]
            values = []
            for i, length in enumerate(lengths):
                data = self.read(path + ["__substg1.0_%08X-%08X" % (tag, i)])
                if length != len(data):
                    self.problem(f"{'/'.join(stream)}[{i}]: length {length} for {len(data)} bytes")
                if ptype == 0x101F:
                    if not data.endswith(b"\0\0"):
                        self.problem(f"{'/'.join(stream)}[{i}]: text without its terminator")
                    values.append(data[:-2].decode("utf-16-le"))
                else:
                    values.append(binary_text(data))
            return values
        self.problem(f"{'/'.join(stream)}: unexpected type {ptype:#06x}")
        return None

    def numbered(self, path, prefix, count, where):
        names = sorted(e[len(path)] for e in self.ole.listdir(streams=True, storages=True)
                       if e[:len(path)] == path and len(e) == len(path) + 1 and e[len(path)].startswith(prefix))
        expected = [prefix + "%08X" % i for i in range(count)]
        if names != expected:
            self.problem(f"{where}: {prefix} storages {names}, header says {count}")
        return expected

    def object(self, path, kind):
        where = "/".join(path) or "/"
        data = self.read(path + ["__properties_version1.0"])
        header_size = {"top": 32, "embedded": 24, "sub": 8}[kind]
        header = {}
        if kind != "sub":
            names = ["next_recipient_id", "next_attachment_id", "recipient_count", "attachment_count"]
            header = dict(zip(names, struct.unpack_from("<4I", data, 8)))
        if (len(data) - header_size) % 16:
            self.problem(f"{where}: property stream of {len(data)} bytes")
        properties = {}
        for offset in range(header_size, len(data) - 15, 16):
            tag, flags = struct.unpack_from("<II", data, offset)
            properties["%08X" % tag] = self.value(path, tag, flags, data[offset + 8:offset + 16])
        result = {"header": header, "properties": properties, "recipients": [], "attachments": [],
                  "embedded": None, "clsid": self.ole.getclsid("/".join(path)) if path else self.ole.root.clsid}
        if kind != "sub":
            for name in self.numbered(path, "__recip_version1.0_#", header["recipient_count"], where):
                result["recipients"].append(self.object(path + [name], "sub"))
            for name in self.numbered(path, "__attach_version1.0_#", header["attachment_count"], where):
                result["attachments"].append(self.object(path + [name], "sub"))
            if header["next_recipient_id"] < header["recipient_count"]:
                self.problem(f"{where}: next recipient id below the count")
        elif self.exists(path + ["__substg1.0_3701000D"]):
            result["embedded"] = self.object(path + ["__substg1.0_3701000D"], "embedded")
        return result

    def named(self):
        base = ["__nameid_version1.0"]
        guids = self.read(base + ["__substg1.0_00020102"])
        entries = self.read(base + ["__substg1.0_00030102"])
        strings = self.read(base + ["__substg1.0_00040102"])
        lookups = {}
        for entry in self.ole.listdir():
            if entry[:1] == base and re.fullmatch(r"__substg1\.0_10[0-9A-F]{2}0102", entry[1]):
                lookups[int(entry[1][12:16], 16)] = self.read(entry)
        named = []
        lookup_entries = 0
        for i in range(0, len(entries), 8):
            name_or_offset, index_and_kind = struct.unpack_from("<II", entries, i)
            kind, guid_index, index = index_and_kind & 1, (index_and_kind >> 1) & 0x7FFF, index_and_kind >> 16
            if index != i // 8:
                self.problem(f"named property {i // 8} has index {index}")
            if guid_index == 1:
                guid = "00020328-0000-0000-C000-000000000046"
            elif guid_index == 2:
                guid = "00020329-0000-0000-C000-000000000046"
            else:
                guid = guid_text(guids[(guid_index - 3) * 16:(guid_index - 2) * 16])
            if kind:
                length = struct.unpack_from("<I", strings, name_or_offset)[0]
                utf16 = strings[name_or_offset + 4:name_or_offset + 4 + length]
                named.append({"guid": guid, "name": utf16.decode("utf-16-le")})
                key = zlib.crc32(utf16)
            else:
                named.append({"guid": guid, "lid": name_or_offset})
                key = name_or_offset
            stream_id = 0x1000 + (key ^ (guid_index << 1 | kind)) % 0x1F
            if struct.pack("<II", key, index_and_kind) not in chunks(lookups.get(stream_id, b""), 8):
                self.problem(f"named property {i // 8} is missing from lookup stream {stream_id:04X}")
            lookup_entries += 1
        if sum(len(v) // 8 for v in lookups.values()) != lookup_entries:
            self.problem("lookup streams hold entries of no named property")
        return named

    def run_cfb(self):
        self.check_trees()
        streams = {"/".join(p): binary_text(self.read(p)) for p in self.ole.listdir(streams=True, storages=False)}
        storages = {"/".join(p): self.ole.getclsid("/".join(p))
                    for p in self.ole.listdir(streams=False, storages=True)}
        storages[""] = self.ole.root.clsid
        return {"version": self.ole.dll_version, "problems": self.problems, "streams": streams, "storages": storages}

    def run(self):
        self.check_trees()
        message = self.object([], "top")
        named = self.named()
        return {"version": self.ole.dll_version, "clsid": self.ole.root.clsid, "problems": self.problems,
                "named": named, "message": message}


def chunks(data, size):
    return [data[i:i + size] for i in range(0, len(data), size)]


def guid_text(data):
    a, b, c = struct.unpack_from("<IHH", data)
    rest = data[8:16].hex().upper()
    return "%08X-%04X-%04X-%s-%s" % (a, b, c, rest[:4], rest[4:])


def binary_text(data):
    if len(data) > 65536:
        return "sha256:%s:%d" % (hashlib.sha256(data).hexdigest(), len(data))
    return data.hex()


if __name__ == "__main__":
    if sys.argv[1] == "--cfb":
        json.dump(Dump(sys.argv[2]).run_cfb(), sys.stdout, indent=1)
    else:
        json.dump(Dump(sys.argv[1]).run(), sys.stdout, indent=1)
