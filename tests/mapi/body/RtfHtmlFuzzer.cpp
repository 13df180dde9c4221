// Feeds arbitrary bytes to the HTML de-encapsulator and the native body check: neither may crash,
// and the HTML they give is valid UTF-8 and at most a few times the size of the RTF.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mapi/RtfBody.h"
#include "runtime/Utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view rtf(reinterpret_cast<const char*>(data), size);
    Tarvik::MAPI::NativeBodyTypeOfRtf(rtf);
    if (auto html = Tarvik::MAPI::UnwrapHtmlFromRtf(rtf)) {
        if (!Utf8::IsValid(*html) || html->size() > 4 * size + 16) {
            abort();
        }
    }
    return 0;
}
