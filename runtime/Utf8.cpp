#include "runtime/Utf8.h"

#include <locale.h>
#include <wctype.h>

namespace Utf8 {

namespace {

constexpr char32_t Replacement = 0xFFFD;

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

}  // namespace

void Append(std::string& out, char32_t cp) {
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
        cp = Replacement;
    }
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string FromUtf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        Append(out, unit);
    }
    return out;
}

std::string FromUtf16LE(std::string_view bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return FromUtf16(units);
}

char32_t Next(std::string_view text, size_t& pos) {
    auto lead = static_cast<unsigned char>(text[pos]);
    size_t length;
    char32_t cp;
    char32_t minimum;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        ++pos;
        return Replacement;
    }
    if (pos + length > text.size()) {
        ++pos;
        return Replacement;
    }
    for (size_t i = 1; i < length; ++i) {
        auto byte = static_cast<unsigned char>(text[pos + i]);
        if (!IsContinuation(byte)) {
            ++pos;
            return Replacement;
        }
        cp = (cp << 6) | (byte & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return Replacement;
    }
    pos += length;
    return cp;
}

std::u16string ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        char32_t cp = Next(text, pos);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string ToUtf16LE(std::string_view text) {
    std::u16string units = ToUtf16(text);
    std::string out(units.size() * 2, '\0');
    for (size_t i = 0; i < units.size(); ++i) {
        out[2 * i] = static_cast<char>(units[i] & 0xFF);
        out[2 * i + 1] = static_cast<char>(units[i] >> 8);
    }
    return out;
}

bool IsValid(std::string_view text) {
    for (size_t pos = 0; pos < text.size();) {
        size_t start = pos;
        if (Next(text, pos) == Replacement && pos == start + 1 &&
            static_cast<unsigned char>(text[start]) >= 0x80) {
            return false;
        }
    }
    return true;
}

size_t CodePointCount(std::string_view text) {
    size_t count = 0;
    for (unsigned char byte : text) {
        count += IsContinuation(byte) ? 0 : 1;
    }
    return count;
}

void TruncateToCodePoints(std::string& text, size_t maxCodePoints) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!IsContinuation(static_cast<unsigned char>(text[i])) && count++ == maxCodePoints) {
            text.erase(i);
            return;
        }
    }
}

void TruncateToBytes(std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return;
    }
    size_t cut = maxBytes;
    while (cut > 0 && IsContinuation(static_cast<unsigned char>(text[cut]))) {
        --cut;
    }
    text.erase(cut);
}

char32_t FoldCase(char32_t codePoint) {
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (unicode != nullptr) {
        return static_cast<char32_t>(towlower_l(static_cast<wint_t>(codePoint), unicode));
    }
    return codePoint >= U'A' && codePoint <= U'Z' ? codePoint - U'A' + U'a' : codePoint;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (FoldCase(Next(a, i)) != FoldCase(Next(b, j))) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

}  // namespace Utf8
