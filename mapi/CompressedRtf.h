#pragma once
// The compressed RTF of a message body (PR_RTF_COMPRESSED): a 16-byte header (compressed size, raw
// size, type "LZFu" or "MELA", CRC) followed by LZ77-compressed or stored RTF. Decompression checks
// the header, the CRC and every dictionary reference, and never writes more than the header
// announces or the caller allows, so damaged or hostile data gives an error, not a crash.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace Tarvik::MAPI {

// Damaged compressed RTF; the message says what is wrong.
class CompressedRtfError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The largest RTF body that is decompressed by default (bodies beyond it are refused).
inline constexpr size_t MaxRtfSize = 256 * 1024 * 1024;

// Returns the RTF held by a PR_RTF_COMPRESSED value. Bytes after the size the header gives are
// ignored. Throws CompressedRtfError when the header, the CRC or the compressed data are damaged,
// or when the RTF would be larger than maxSize.
std::string DecompressRtf(std::string_view compressed, size_t maxSize = MaxRtfSize);

// The CRC-32 variant of compressed RTF (initial value 0, no final inversion).
uint32_t CompressedRtfCrc(std::string_view bytes);

}  // namespace Tarvik::MAPI
