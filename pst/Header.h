#pragma once
// The file header: format, encryption and the roots of the two B-trees. Parse() checks everything
// it can before any other structure is read, so that a truncated file, a file that is not a PST or
// a header with a bad checksum is refused with a message that says which.

#include <cstdint>
#include <string>

#include "pst/Bytes.h"
#include "pst/Crypt.h"

namespace pst {

enum class Format { Ansi, Unicode, Unicode4K };

std::string FormatName(Format f);

// A block reference: block id and file offset.
struct Bref {
    uint64_t bid = 0;
    uint64_t ib = 0;
};

struct Header {
    Format format = Format::Unicode;
    uint16_t version = 0;        // wVer: 14/15 ANSI, 23 Unicode, 36 Unicode with 4 KiB pages
    uint16_t clientVersion = 0;  // wVerClient
    std::string clientMagic;     // "SM" for PST, "SO" for OST, "AB" for PAB
    Encryption encryption = Encryption::None;
    uint64_t fileEof = 0;  // the size the file claims to have
    Bref nodeBTree;        // root page of the node B-tree
    Bref blockBTree;       // root page of the block B-tree
    uint8_t amapValid = 0;
    uint32_t unique = 0;  // dwUnique

    // The bytes to read before calling Parse (the longest header).
    static constexpr size_t kMaxSize = 564;

    // Throws pst::Error saying what is wrong. `fileSize` is the real size of the file.
    static Header Parse(ByteSpan bytes, uint64_t fileSize, bool verifyChecksums = true);
};

// Layout constants that depend on the format.
struct Geometry {
    size_t pageSize;       // B-tree and map pages
    size_t idSize;         // NIDs and BIDs inside B-tree entries: 4 (ANSI) or 8
    size_t blockTrailer;   // bytes of the trailer at the end of every block
    size_t blockAlign;     // blocks start and end on multiples of this
    size_t maxBlockSize;   // whole block, trailer included
    size_t pageEntryArea;  // bytes of B-tree entries in a page

    static Geometry For(Format f);
};

}  // namespace pst
