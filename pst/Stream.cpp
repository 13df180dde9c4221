#include "pst/Stream.h"

#include <algorithm>

namespace pst {

Bytes ByteStream::ReadRest() {
    Bytes out;
    uint8_t buffer[16384];
    while (size_t n = Read(buffer, sizeof buffer)) {
        out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

size_t MemoryStream::Read(uint8_t* out, size_t size) {
    if (position_ >= data_.size()) {
        return 0;
    }
    size_t n = std::min<uint64_t>(size, data_.size() - position_);
    std::copy_n(data_.data() + position_, n, out);
    position_ += n;
    return n;
}

std::string ToHex(ByteSpan data) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(data.size() * 2);
    for (uint8_t b : data) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

}  // namespace pst
