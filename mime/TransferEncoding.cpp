#include "mime/TransferEncoding.h"

#include <cstdint>
#include <cstring>

namespace mimepp {
namespace {

constexpr size_t kMaxSevenBitLine = 76;

}  // namespace

BodyEncoding ChooseTransferEncoding(const char* bytes, size_t length) {
    const uint64_t threshold = (static_cast<uint64_t>(length) * 17 + 50) / 100;
    const bool isPdf = length >= 4 && std::memcmp(bytes, "%PDF", 4) == 0;
    uint64_t unsafe = 0;
    size_t column = 0;
    bool needsEncoding = false;
    for (size_t i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' || c == '\n') {
            column = 0;
        } else if (c < 0x20 || c > 0x7E) {
            if (isPdf) {
                return BodyEncoding::Base64;
            }
            needsEncoding = true;
            if (++unsafe > threshold) {
                return BodyEncoding::Base64;
            }
        }
        if (++column > kMaxSevenBitLine) {
            needsEncoding = true;
        }
    }
    return needsEncoding ? BodyEncoding::QuotedPrintable : BodyEncoding::SevenBit;
}

}  // namespace mimepp
