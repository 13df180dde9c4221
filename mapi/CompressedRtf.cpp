#include "mapi/CompressedRtf.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace Tarvik::MAPI {

namespace {

constexpr uint32_t typeCompressed = 0x75465A4C;  // "LZFu"
constexpr uint32_t typeStored = 0x414C454D;      // "MELA"
constexpr size_t headerSize = 16;
constexpr size_t dictionarySize = 4096;

// Every compressed stream starts with this text already in its dictionary.
constexpr std::string_view preload =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern \\fscript "
    "\\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
    "\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
static_assert(preload.size() == 207);

uint32_t ReadLittleEndian32(std::string_view bytes, size_t offset) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + i])) << (8 * i);
    }
    return value;
}

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1) != 0 ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        }
        table[i] = value;
    }
    return table;
}

constexpr std::array<uint32_t, 256> crcTable = MakeCrcTable();

std::string Decompress(std::string_view contents, size_t rawSize) {
    std::array<char, dictionarySize> dictionary{};
    std::memcpy(dictionary.data(), preload.data(), preload.size());
    size_t writeOffset = preload.size();
    std::string out;
    out.reserve(std::min<size_t>(rawSize, contents.size() * 8 + 16));  // not what a header claims
    auto put = [&](char byte) {
        if (out.size() == rawSize) {
            throw CompressedRtfError(
                fmt::format("compressed RTF holds more than the {} bytes its header announces", rawSize));
        }
        out += byte;
        dictionary[writeOffset] = byte;
        writeOffset = (writeOffset + 1) % dictionarySize;
    };

    size_t pos = 0;
    while (pos < contents.size()) {
        uint8_t control = static_cast<uint8_t>(contents[pos++]);
        for (int bit = 0; bit < 8; ++bit) {
            if (pos >= contents.size()) {
                break;  // the last run may stop short of eight tokens
            }
            if ((control & (1u << bit)) == 0) {
                put(contents[pos++]);
                continue;
            }
            if (pos + 2 > contents.size()) {
                throw CompressedRtfError("compressed RTF ends inside a dictionary reference");
            }
            unsigned reference =
                static_cast<uint8_t>(contents[pos]) << 8 | static_cast<uint8_t>(contents[pos + 1]);
            pos += 2;
            size_t offset = reference >> 4;
            size_t length = (reference & 0x0F) + 2;
            if (offset == writeOffset) {
                return out;  // the end marker
            }
            // Copy byte by byte: a reference may overlap the bytes it produces.
            for (size_t i = 0; i < length; ++i) {
                put(dictionary[(offset + i) % dictionarySize]);
            }
        }
    }
    if (out.size() != rawSize) {
        throw CompressedRtfError(fmt::format(
            "compressed RTF ends after {} of its {} bytes without an end marker", out.size(), rawSize));
    }
    return out;
}

}  // namespace

uint32_t CompressedRtfCrc(std::string_view bytes) {
    uint32_t crc = 0;
    for (char byte : bytes) {
        crc = crcTable[(crc ^ static_cast<uint8_t>(byte)) & 0xFF] ^ (crc >> 8);
    }
    return crc;
}

std::string DecompressRtf(std::string_view compressed, size_t maxSize) {
    if (compressed.size() < headerSize) {
        throw CompressedRtfError(
            fmt::format("compressed RTF of {} bytes is shorter than its 16-byte header", compressed.size()));
    }
    uint32_t compressedSize = ReadLittleEndian32(compressed, 0);
    uint32_t rawSize = ReadLittleEndian32(compressed, 4);
    uint32_t type = ReadLittleEndian32(compressed, 8);
    uint32_t crc = ReadLittleEndian32(compressed, 12);
    if (compressedSize < headerSize - 4 || compressedSize > compressed.size() - 4) {
        throw CompressedRtfError(fmt::format("compressed RTF announces {} bytes but holds {}",
                                             compressedSize + size_t{4}, compressed.size()));
    }
    if (rawSize > maxSize) {
        throw CompressedRtfError(
            fmt::format("compressed RTF announces {} bytes, more than the {} allowed", rawSize, maxSize));
    }
    std::string_view contents = compressed.substr(headerSize, compressedSize + 4 - headerSize);

    if (type == typeStored) {
        if (crc != 0) {
            throw CompressedRtfError(fmt::format("stored RTF has the CRC {:#010x} where 0 belongs", crc));
        }
        // Some writers count the header in the raw size of stored RTF; the stored bytes are all there is.
        return std::string(contents.substr(0, rawSize));
    }
    if (type != typeCompressed) {
        throw CompressedRtfError(fmt::format("compressed RTF has the unknown type {:#010x}", type));
    }
    uint32_t actualCrc = CompressedRtfCrc(contents);
    if (actualCrc != crc) {
        throw CompressedRtfError(
            fmt::format("compressed RTF fails its CRC check ({:#010x} instead of {:#010x})", actualCrc, crc));
    }
    return Decompress(contents, rawSize);
}

}  // namespace Tarvik::MAPI
