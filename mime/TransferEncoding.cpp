#include "mime/TransferEncoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace mimepp {
namespace {

constexpr size_t kMaxSevenBitLine = 76;
// Unsafe-byte counts are compared with the threshold once per block: the loop over the bytes then
// has no data-dependent branch, which matters on binary attachments.
constexpr size_t kBlock = 4096;

constexpr uint8_t kUnsafe = 1;
constexpr uint8_t kLineBreak = 2;

constexpr std::array<uint8_t, 256> MakeKinds() {
    std::array<uint8_t, 256> kinds{};
    for (size_t c = 0; c < 256; ++c) {
        if (c == '\r' || c == '\n') {
            kinds[c] = kLineBreak;
        } else if (c < 0x20 || c > 0x7E) {
            kinds[c] = kUnsafe;
        }
    }
    return kinds;
}
constexpr std::array<uint8_t, 256> kKinds = MakeKinds();

}  // namespace

BodyEncoding ChooseTransferEncoding(const char* bytes, size_t length) {
    const uint64_t threshold = (static_cast<uint64_t>(length) * 17 + 50) / 100;
    const bool isPdf = length >= 4 && std::memcmp(bytes, "%PDF", 4) == 0;
    uint64_t unsafe = 0;
    size_t column = 0;  // the line break itself counts as the first character of the next line
    bool longLine = false;
    for (size_t start = 0; start < length; start += kBlock) {
        const size_t end = std::min(length, start + kBlock);
        for (size_t i = start; i < end; ++i) {
            const uint8_t kind = kKinds[static_cast<unsigned char>(bytes[i])];
            unsafe += kind & kUnsafe;
            column = ((kind & kLineBreak) ? 0 : column) + 1;
            longLine |= column > kMaxSevenBitLine;
        }
        // The count only grows: once past the threshold (or, in a PDF document, above zero) the
        // answer is base64 whatever follows.
        if (unsafe > threshold || (isPdf && unsafe > 0)) {
            return BodyEncoding::Base64;
        }
    }
    return (unsafe > 0 || longLine) ? BodyEncoding::QuotedPrintable : BodyEncoding::SevenBit;
}

}  // namespace mimepp
