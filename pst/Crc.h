#pragma once
// The CRC-32 used by PST headers, pages and blocks: the reflected 0xEDB88320 polynomial, started
// from 0 and without a final inversion (so it differs from zlib's crc32).

#include <cstdint>

#include "pst/Bytes.h"

namespace pst {

uint32_t PstCrc32(ByteSpan data, uint32_t crc = 0);

}  // namespace pst
