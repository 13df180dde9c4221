#include "pst/Codepage.h"

#include <iconv.h>

#include <cerrno>

#include <string>

#include "runtime/Utf8.h"

namespace pst {
namespace {

std::string IconvName(uint32_t codepage) {
    switch (codepage) {
        case 20127:
            return "ASCII";
        case 28591:
            return "ISO-8859-1";
        case 28592:
            return "ISO-8859-2";
        case 28595:
            return "ISO-8859-5";
        case 28597:
            return "ISO-8859-7";
        case 28605:
            return "ISO-8859-15";
        case 20866:
            return "KOI8-R";
        case 21866:
            return "KOI8-U";
        case 50220:
            return "ISO-2022-JP";
        case 51932:
            return "EUC-JP";
        case 51949:
            return "EUC-KR";
        case 52936:
            return "HZ-GB-2312";
        case 54936:
            return "GB18030";
        case 936:
            return "GBK";
        case 950:
            return "BIG5";
        case 932:
            return "CP932";
        case 949:
            return "CP949";
        default:
            return "CP" + std::to_string(codepage);
    }
}

}  // namespace

std::string CodepageToUtf8(std::string_view bytes, uint32_t codepage) {
    if (codepage == 0) {
        codepage = 1252;
    }
    if (codepage == 65001) {
        // Re-encode so that invalid sequences become U+FFFD.
        std::string out;
        for (size_t pos = 0; pos < bytes.size();) {
            Utf8::Append(out, Utf8::Next(bytes, pos));
        }
        return out;
    }
    if (codepage == 1200) {
        return Utf8::FromUtf16LE(bytes);
    }
    iconv_t cd = iconv_open("UTF-8", IconvName(codepage).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        cd = iconv_open("UTF-8", "CP1252");
    }
    std::string out;
    char buffer[4096];
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, outPtr);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // An invalid or incomplete sequence: replace one byte and go on.
            out += "\xEF\xBF\xBD";
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace pst
