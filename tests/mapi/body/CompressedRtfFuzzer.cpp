// Feeds arbitrary bytes to the compressed RTF decompressor: it must either return RTF no longer than
// allowed or throw CompressedRtfError.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mapi/CompressedRtf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t limit = 1 << 20;
    try {
        std::string rtf = Tarvik::MAPI::DecompressRtf({reinterpret_cast<const char*>(data), size}, limit);
        if (rtf.size() > limit) {
            abort();
        }
    } catch (const Tarvik::MAPI::CompressedRtfError&) {
    }
    return 0;
}
