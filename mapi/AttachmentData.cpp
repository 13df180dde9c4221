#include "mapi/AttachmentData.h"

#include <cstdint>

namespace Tarvik::MAPI {

namespace {

struct Mark {
    std::string_view bytes;
    std::string_view charset;
};

// Longest first: the UTF-32LE mark begins with the UTF-16LE one.
constexpr Mark marks[] = {
    {{"\x00\x00\xFE\xFF", 4}, "UTF-32BE"}, {{"\xFF\xFE\x00\x00", 4}, "UTF-32LE"},
    {{"\xFE\xFF", 2}, "UTF-16BE"},         {{"\xFF\xFE", 2}, "UTF-16LE"},
    {{"\xEF\xBB\xBF", 3}, "UTF-8"},
};

constexpr size_t macBinaryHeaderSize = 128;

uint32_t ReadBigEndian32(std::string_view bytes, size_t offset) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value = value << 8 | static_cast<uint8_t>(bytes[offset + i]);
    }
    return value;
}

}  // namespace

std::optional<ByteOrderMark> FindByteOrderMark(std::string_view data) {
    for (const Mark& mark : marks) {
        if (data.size() > mark.bytes.size() && data.starts_with(mark.bytes)) {
            return ByteOrderMark{mark.charset, mark.bytes.size()};
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> MacBinaryDataFork(std::string_view data) {
    if (data.size() < macBinaryHeaderSize) {
        return std::nullopt;
    }
    // Version byte, the two zero bytes and the file name length are the same in every MacBinary
    // version and tell the header apart from other data.
    uint8_t nameLength = static_cast<uint8_t>(data[1]);
    if (data[0] != 0 || data[74] != 0 || data[82] != 0 || nameLength < 1 || nameLength > 63) {
        return std::nullopt;
    }
    uint32_t dataForkLength = ReadBigEndian32(data, 83);
    if (dataForkLength > data.size() - macBinaryHeaderSize) {
        return std::nullopt;
    }
    return data.substr(macBinaryHeaderSize, dataForkLength);
}

}  // namespace Tarvik::MAPI
