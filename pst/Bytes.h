#pragma once
// Little-endian access to byte buffers. Every read is bounds-checked: PST structures come from
// untrusted files, so an offset past the end is a corrupt-data error, never a stray read.

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "pst/Error.h"

namespace pst {

using Bytes = std::vector<uint8_t>;
using ByteSpan = std::span<const uint8_t>;

inline void CheckRange(ByteSpan data, size_t offset, size_t size, const char* what) {
    if (offset > data.size() || size > data.size() - offset) {
        throw Error(std::string(what) + ": " + std::to_string(size) + " bytes at offset " +
                    std::to_string(offset) + " lie outside its " + std::to_string(data.size()) +
                    "-byte buffer");
    }
}

inline uint8_t U8(ByteSpan d, size_t off, const char* what = "value") {
    CheckRange(d, off, 1, what);
    return d[off];
}
inline uint16_t U16(ByteSpan d, size_t off, const char* what = "value") {
    CheckRange(d, off, 2, what);
    return static_cast<uint16_t>(d[off] | (d[off + 1] << 8));
}
inline uint32_t U32(ByteSpan d, size_t off, const char* what = "value") {
    CheckRange(d, off, 4, what);
    return static_cast<uint32_t>(d[off]) | (static_cast<uint32_t>(d[off + 1]) << 8) |
           (static_cast<uint32_t>(d[off + 2]) << 16) | (static_cast<uint32_t>(d[off + 3]) << 24);
}
inline uint64_t U64(ByteSpan d, size_t off, const char* what = "value") {
    return U32(d, off, what) | (static_cast<uint64_t>(U32(d, off + 4, what)) << 32);
}
inline ByteSpan Slice(ByteSpan d, size_t off, size_t size, const char* what = "value") {
    CheckRange(d, off, size, what);
    return d.subspan(off, size);
}

inline void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
    Put16(p, static_cast<uint16_t>(v));
    Put16(p + 2, static_cast<uint16_t>(v >> 16));
}
inline void Put64(uint8_t* p, uint64_t v) {
    Put32(p, static_cast<uint32_t>(v));
    Put32(p + 4, static_cast<uint32_t>(v >> 32));
}
inline void Append16(Bytes& b, uint16_t v) {
    b.resize(b.size() + 2);
    Put16(b.data() + b.size() - 2, v);
}
inline void Append32(Bytes& b, uint32_t v) {
    b.resize(b.size() + 4);
    Put32(b.data() + b.size() - 4, v);
}
inline void Append64(Bytes& b, uint64_t v) {
    b.resize(b.size() + 8);
    Put64(b.data() + b.size() - 8, v);
}
inline void AppendBytes(Bytes& b, ByteSpan v) {
    b.insert(b.end(), v.begin(), v.end());
}

// Lower-case hexadecimal, two digits per byte.
std::string ToHex(ByteSpan data);

}  // namespace pst
