#include "mapi/CodePages.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <map>

namespace Tarvik::MAPI {

namespace {

struct CodePageInfo {
    uint32_t codePage;
    const char* charset;    // nullptr: "windows-<number>"
    const char* iconvName;  // nullptr: iconv does not know it
    bool mimeText;          // keeps ASCII and line ends as single bytes
};

// Sorted by code page. Charset names are the ones mail programs label these code pages with.
constexpr CodePageInfo codePages[] = {
    {37, "ebcdic-cp-us", "IBM037", false},
    {437, "IBM437", "IBM437", true},
    {708, "ASMO-708", "ASMO-708", true},
    {720, "DOS-720", nullptr, true},
    {737, "ibm737", "CP737", true},
    {775, "ibm775", "CP775", true},
    {850, "ibm850", "CP850", true},
    {852, "ibm852", "CP852", true},
    {857, "ibm857", "CP857", true},
    {861, "ibm861", "CP861", true},
    {862, "DOS-862", "CP862", true},
    {866, "cp866", "CP866", true},
    {869, "ibm869", "CP869", true},
    {870, "CP870", "IBM870", false},
    {874, nullptr, "CP874", true},
    {875, "x-EBCDIC-GreekModern", "IBM875", false},
    {932, "shift_jis", "CP932", true},
    {936, "gb2312", "CP936", true},
    {949, "ks_c_5601-1987", "CP949", true},
    {950, "big5", "CP950", true},
    {1026, "CP1026", "IBM1026", false},
    {1140, "x-ebcdic-cp-us-euro", "IBM1140", false},
    {1141, "x-ebcdic-germany-euro", "IBM1141", false},
    {1142, "x-ebcdic-denmarknorway-euro", "IBM1142", false},
    {1143, "x-ebcdic-finlandsweden-euro", "IBM1143", false},
    {1144, "x-ebcdic-italy-euro", "IBM1144", false},
    {1145, "x-ebcdic-spain-euro", "IBM1145", false},
    {1146, "x-ebcdic-uk-euro", "IBM1146", false},
    {1147, "x-ebcdic-france-euro", "IBM1147", false},
    {1148, "x-ebcdic-international-euro", "IBM1148", false},
    {1149, "x-ebcdic-icelandic-euro", "IBM1149", false},
    {1200, "unicode", "UTF-16LE", false},
    {1201, "unicodeFFFE", "UTF-16BE", false},
    {1250, nullptr, "CP1250", true},
    {1251, nullptr, "CP1251", true},
    {1252, nullptr, "CP1252", true},
    {1253, nullptr, "CP1253", true},
    {1254, nullptr, "CP1254", true},
    {1255, nullptr, "CP1255", true},
    {1256, nullptr, "CP1256", true},
    {1257, nullptr, "CP1257", true},
    {1258, nullptr, "CP1258", true},
    {1361, "Johab", "JOHAB", true},
    {10000, "macintosh", "MACINTOSH", true},
    {10001, "x-mac-japanese", nullptr, true},
    {10002, "x-mac-chinesetrad", nullptr, true},
    {10003, "x-mac-korean", nullptr, true},
    {10004, "x-max-arabic", nullptr, true},
    {10005, "x-mac-hebrew", nullptr, true},
    {10006, "x-mac-greek", nullptr, true},
    {10007, "x-mac-cyrillic", "MAC-CYRILLIC", true},
    {10008, "x-mac-chinesesimp", nullptr, true},
    {10029, "x-mac-ce", "MAC-CENTRALEUROPE", true},
    {10079, "x-mac-icelandic", "MAC-IS", true},
    {10081, "x-mac-turkish", nullptr, true},
    {12000, nullptr, "UTF-32LE", false},
    {12001, nullptr, "UTF-32BE", false},
    {20000, "x-Chinese-CNS", nullptr, true},
    {20002, "x-Chinese-Eten", nullptr, true},
    {20105, "x-IA5", nullptr, true},
    {20106, "x-IA5-German", nullptr, true},
    {20107, "x-IA5-Swedish", nullptr, true},
    {20108, "x-IA5-Norwegian", nullptr, true},
    {20127, "us-ascii", "ASCII", true},
    {20273, "x-EBCDIC-Germany", "IBM273", false},
    {20277, "x-EBCDIC-DenmarkNorway", "IBM277", false},
    {20278, "x-EBCDIC-FinlandSweden", "IBM278", false},
    {20280, "x-EBCDIC-Italy", "IBM280", false},
    {20284, "X-EBCDIC-Spain", "IBM284", false},
    {20285, "x-EBCDIC-UK", "IBM285", false},
    {20290, "x-EBCDIC-JapaneseKatakana", "IBM290", false},
    {20420, "x-EBCDIC-Arabic", "IBM420", false},
    {20423, "x-EBCDIC-Greek", "IBM423", false},
    {20424, "x-EBCDIC-Hebrew", "IBM424", false},
    {20833, "x-EBCDIC-KoreanExtended", nullptr, false},
    {20838, "x-EBCDIC-Thai", "IBM838", false},
    {20866, "koi8-r", "KOI8-R", true},
    {20871, "x-EBCDIC-Icelandic", "IBM871", false},
    {20880, "x-EBCDIC-CyrillicRussian", "IBM880", false},
    {20905, "x-EBCDIC-Turkish", "IBM905", false},
    {20932, nullptr, "EUC-JP", true},
    {21025, "x-EBCDIC-CyrillicSerbianBulgarian", "IBM1025", false},
    {21866, "koi8-u", "KOI8-U", true},
    {28591, "iso-8859-1", "ISO-8859-1", true},
    {28592, "iso-8859-2", "ISO-8859-2", true},
    {28593, "iso-8859-3", "ISO-8859-3", true},
    {28594, "iso-8859-4", "ISO-8859-4", true},
    {28595, "iso-8859-5", "ISO-8859-5", true},
    {28596, "iso-8859-6", "ISO-8859-6", true},
    {28597, "iso-8859-7", "ISO-8859-7", true},
    {28598, "iso-8859-8", "ISO-8859-8", true},
    {28599, "iso-8859-9", "ISO-8859-9", true},
    {28603, nullptr, "ISO-8859-13", true},
    {28605, "iso-8859-15", "ISO-8859-15", true},
    {29001, "x-Europa", nullptr, true},
    {38598, "iso-8859-8-i", "ISO-8859-8", true},
    {50220, "iso-2022-jp", "ISO-2022-JP", true},
    {50221, "csISO2022JP", "ISO-2022-JP", true},
    {50222, "iso-2022-jp", "ISO-2022-JP", true},
    {50225, "iso-2022-kr", "ISO-2022-KR", true},
    {50930, "x-EBCDIC-JapaneseAndKana", nullptr, false},
    {50931, "x-EBCDIC-JapaneseAndUSCanada", nullptr, false},
    {50933, "x-EBCDIC-KoreanAndKoreanExtended", nullptr, false},
    {50935, "x-EBCDIC-SimplifiedChinese", nullptr, false},
    {50937, "x-EBCDIC-TraditionalChinese", nullptr, false},
    {50939, "x-EBCDIC-JapaneseAndJapaneseLatin", nullptr, false},
    {51932, "euc-jp", "EUC-JP", true},
    {51936, "EUC-CN", "EUC-CN", true},
    {51949, "euc-kr", "EUC-KR", true},
    {52936, "hz-gb-2312", nullptr, true},
    {54936, nullptr, "GB18030", true},
    {57002, "x-iscii-de", nullptr, true},
    {57003, "x-iscii-be", nullptr, true},
    {57004, "x-iscii-ta", nullptr, true},
    {57005, "x-iscii-te", nullptr, true},
    {57006, "x-iscii-as", nullptr, true},
    {57007, "x-iscii-or", nullptr, true},
    {57008, "x-iscii-ka", nullptr, true},
    {57009, "x-iscii-ma", nullptr, true},
    {57010, "x-iscii-gu", nullptr, true},
    {57011, "x-iscii-pa", nullptr, true},
    {65000, "utf-7", "UTF-7", true},
    {65001, "utf-8", "UTF-8", true},
};

const CodePageInfo* Find(uint32_t codePage) {
    auto it =
        std::lower_bound(std::begin(codePages), std::end(codePages), codePage,
                         [](const CodePageInfo& info, uint32_t value) { return info.codePage < value; });
    return it != std::end(codePages) && it->codePage == codePage ? &*it : nullptr;
}

// iconv descriptors are costly to open and not safe to share between threads, so each thread keeps
// the ones it has used.
class ConverterCache {
  public:
    ~ConverterCache() {
        for (auto& [key, cd] : converters_) {
            if (cd != invalid()) {
                iconv_close(cd);
            }
        }
    }

    // A converter in its initial state, or nothing when iconv has no such conversion.
    std::optional<iconv_t> Get(const char* to, const char* from) {
        auto key = std::make_pair(std::string(to), std::string(from));
        auto it = converters_.find(key);
        if (it == converters_.end()) {
            it = converters_.emplace(key, iconv_open(to, from)).first;
        }
        if (it->second == invalid()) {
            return std::nullopt;
        }
        iconv(it->second, nullptr, nullptr, nullptr, nullptr);
        return it->second;
    }

  private:
    static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }
    std::map<std::pair<std::string, std::string>, iconv_t> converters_;
};

std::optional<iconv_t> Converter(const char* to, const char* from) {
    thread_local ConverterCache cache;
    return cache.Get(to, from);
}

const char* IconvName(uint32_t codePage) {
    const CodePageInfo* info = Find(codePage);
    return info != nullptr ? info->iconvName : nullptr;
}

enum class OnInvalid { Replace, Fail };

// Runs a whole conversion. Invalid or incomplete input either becomes U+FFFD (decoding to UTF-8)
// or fails the conversion; so does a conversion that iconv reports as not reversible.
std::optional<std::string> Convert(iconv_t cd, std::string_view input, OnInvalid onInvalid) {
    std::string out;
    out.reserve(input.size() + input.size() / 2 + 16);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    std::array<char, 8192> buffer;
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        size_t outLeft = buffer.size();
        size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        int error = errno;
        out.append(buffer.data(), outPtr);
        if (result != static_cast<size_t>(-1)) {
            if (result > 0 && onInvalid == OnInvalid::Fail) {
                return std::nullopt;
            }
            continue;
        }
        if (error == E2BIG) {
            continue;
        }
        if (onInvalid == OnInvalid::Fail || (error != EILSEQ && error != EINVAL)) {
            return std::nullopt;
        }
        out += "\xEF\xBF\xBD";
        if (error == EINVAL) {
            inLeft = 0;  // an incomplete sequence at the end
        } else {
            ++in;
            --inLeft;
        }
    }
    // Stateful encodings (ISO-2022-JP) return to their initial state at the end.
    for (;;) {
        char* outPtr = buffer.data();
        size_t outLeft = buffer.size();
        size_t result = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        int error = errno;
        out.append(buffer.data(), outPtr);
        if (result != static_cast<size_t>(-1) || error != E2BIG) {
            break;
        }
    }
    return out;
}

}  // namespace

std::string CharsetName(uint32_t codePage) {
    const CodePageInfo* info = Find(codePage);
    if (info != nullptr && info->charset != nullptr) {
        return info->charset;
    }
    return "windows-" + std::to_string(codePage);
}

std::optional<uint32_t> CodePageFromCharset(std::string_view charset) {
    auto equalIgnoringCase = [](std::string_view a, std::string_view b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return std::tolower(static_cast<unsigned char>(x)) ==
                          std::tolower(static_cast<unsigned char>(y));
               });
    };
    for (const CodePageInfo& info : codePages) {
        if (info.charset != nullptr && equalIgnoringCase(charset, info.charset)) {
            return info.codePage;
        }
    }
    for (std::string_view prefix : {"windows-", "cp"}) {
        if (charset.size() > prefix.size() && equalIgnoringCase(charset.substr(0, prefix.size()), prefix)) {
            std::string_view digits = charset.substr(prefix.size());
            uint32_t number = 0;
            auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
            if (error == std::errc() && end == digits.data() + digits.size() && number > 0) {
                return number;
            }
        }
    }
    return std::nullopt;
}

bool IsCodePageSupported(uint32_t codePage) {
    const char* name = IconvName(codePage);
    return name != nullptr && Converter("UTF-8", name).has_value();
}

bool IsMimeTextCodePage(uint32_t codePage) {
    const CodePageInfo* info = Find(codePage);
    return info != nullptr && info->mimeText && IsCodePageSupported(codePage);
}

std::optional<std::string> DecodeToUtf8(std::string_view bytes, uint32_t codePage) {
    const char* name = IconvName(codePage);
    if (name == nullptr) {
        return std::nullopt;
    }
    std::optional<iconv_t> cd = Converter("UTF-8", name);
    if (!cd) {
        return std::nullopt;
    }
    return Convert(*cd, bytes, OnInvalid::Replace);
}

std::optional<std::string> EncodeLosslessly(std::string_view utf8, uint32_t codePage) {
    const char* name = IconvName(codePage);
    if (name == nullptr) {
        return std::nullopt;
    }
    std::optional<iconv_t> cd = Converter(name, "UTF-8");
    if (!cd) {
        return std::nullopt;
    }
    std::optional<std::string> encoded = Convert(*cd, utf8, OnInvalid::Fail);
    // A few code pages map several characters to one byte sequence; only a round trip proves that
    // nothing changed.
    if (!encoded || DecodeToUtf8(*encoded, codePage) != utf8) {
        return std::nullopt;
    }
    return encoded;
}

EncodedText EncodeTextBody(std::string_view utf8, uint32_t codePage) {
    if (IsMimeTextCodePage(codePage)) {
        if (std::optional<std::string> encoded = EncodeLosslessly(utf8, codePage)) {
            return {std::move(*encoded), CharsetName(codePage)};
        }
    }
    return {std::string(utf8), CharsetName(CodePageUtf8)};
}

}  // namespace Tarvik::MAPI
