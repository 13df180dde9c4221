#include "pst/Crc.h"

#include <array>

namespace pst {
namespace {

// Four tables so that the inner loop consumes four bytes per step.
struct CrcTables {
    std::array<std::array<uint32_t, 256>, 4> t{};
    CrcTables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i) {
            for (int k = 1; k < 4; ++k) {
                t[k][i] = t[0][t[k - 1][i] & 0xFF] ^ (t[k - 1][i] >> 8);
            }
        }
    }
};

const CrcTables& Tables() {
    static const CrcTables tables;
    return tables;
}

}  // namespace

uint32_t PstCrc32(ByteSpan data, uint32_t crc) {
    const auto& t = Tables().t;
    const uint8_t* p = data.data();
    size_t n = data.size();
    while (n >= 4) {
        crc ^= static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
               (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
        crc = t[3][crc & 0xFF] ^ t[2][(crc >> 8) & 0xFF] ^ t[1][(crc >> 16) & 0xFF] ^ t[0][crc >> 24];
        p += 4;
        n -= 4;
    }
    while (n-- > 0) {
        crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    }
    return crc;
}

}  // namespace pst
