#include "pst/Header.h"

#include <fmt/format.h>

#include "pst/Crc.h"

namespace pst {

std::string FormatName(Format f) {
    switch (f) {
        case Format::Ansi:
            return "ANSI";
        case Format::Unicode:
            return "Unicode";
        case Format::Unicode4K:
            return "Unicode (4 KiB pages)";
    }
    return "unknown";
}

Geometry Geometry::For(Format f) {
    switch (f) {
        case Format::Ansi:
            return {512, 4, 12, 64, 8192, 496};
        case Format::Unicode:
            return {512, 8, 16, 64, 8192, 488};
        case Format::Unicode4K:
            return {4096, 8, 24, 512, 65536, 4056};
    }
    return {512, 8, 16, 64, 8192, 488};
}

namespace {

Format FormatOf(uint16_t version) {
    if (version == 14 || version == 15) {
        return Format::Ansi;
    }
    if (version == 21 || version == 23) {
        return Format::Unicode;
    }
    if (version == 36) {
        return Format::Unicode4K;
    }
    throw Error(fmt::format("unsupported PST format version {} (wVer)", version));
}

void CheckBref(const Bref& ref, uint64_t fileSize, size_t pageSize, const char* tree) {
    if (ref.ib < 512 || ref.ib > fileSize || fileSize - ref.ib < pageSize) {
        throw Error(fmt::format("header: the {} root page offset 0x{:x} lies outside the {}-byte file", tree,
                                ref.ib, fileSize));
    }
}

}  // namespace

Header Header::Parse(ByteSpan bytes, uint64_t fileSize, bool verifyChecksums) {
    if (fileSize < 4 || bytes.size() < 4 || U32(bytes, 0) != 0x4E444221) {  // "!BDN"
        throw Error("not a PST file: the signature \"!BDN\" is missing");
    }
    if (bytes.size() < 512) {
        throw Error(fmt::format("truncated file: {} bytes cannot hold a PST header", fileSize));
    }
    Header h;
    h.version = U16(bytes, 10);
    h.format = FormatOf(h.version);
    h.clientMagic = std::string(reinterpret_cast<const char*>(bytes.data()) + 8, 2);
    h.clientVersion = U16(bytes, 12);

    uint32_t partialCrc = PstCrc32(bytes.subspan(8, 471));
    if (verifyChecksums && partialCrc != U32(bytes, 4)) {
        throw Error(fmt::format("corrupt header: checksum 0x{:08x} does not match the stored 0x{:08x}",
                                partialCrc, U32(bytes, 4)));
    }
    uint8_t crypt;
    if (h.format == Format::Ansi) {
        h.unique = U32(bytes, 32);
        h.fileEof = U32(bytes, 168);
        h.nodeBTree = {U32(bytes, 184), U32(bytes, 188)};
        h.blockBTree = {U32(bytes, 192), U32(bytes, 196)};
        h.amapValid = bytes[200];
        crypt = bytes[461];
    } else {
        if (bytes.size() < kMaxSize) {
            throw Error(fmt::format("truncated file: {} bytes cannot hold a Unicode PST header", fileSize));
        }
        uint32_t fullCrc = PstCrc32(bytes.subspan(8, 516));
        if (verifyChecksums && fullCrc != U32(bytes, 524)) {
            throw Error(fmt::format("corrupt header: checksum 0x{:08x} does not match the stored 0x{:08x}",
                                    fullCrc, U32(bytes, 524)));
        }
        h.unique = U32(bytes, 40);
        h.fileEof = U64(bytes, 184);
        h.nodeBTree = {U64(bytes, 216), U64(bytes, 224)};
        h.blockBTree = {U64(bytes, 232), U64(bytes, 240)};
        h.amapValid = bytes[248];
        crypt = bytes[513];
    }
    if (crypt > 2) {
        throw Error(fmt::format("corrupt header: unknown encryption method {}", crypt));
    }
    h.encryption = static_cast<Encryption>(crypt);
    size_t pageSize = Geometry::For(h.format).pageSize;
    CheckBref(h.nodeBTree, fileSize, pageSize, "node B-tree");
    CheckBref(h.blockBTree, fileSize, pageSize, "block B-tree");
    return h;
}

}  // namespace pst
