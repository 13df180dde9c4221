#include "testserver/Names.h"

#include <locale.h>
#include <wctype.h>

#include "runtime/Utf8.h"
#include "testserver/Fault.h"

namespace Tarvik::TestServer {

namespace {

locale_t Utf8Locale() {
    // C.UTF-8 gives towlower its full Unicode tables; without it, ASCII folding still works.
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

bool IsBlank(char32_t c) {
    return c == U' ' || c == U'\u00A0' || c == U'\u3000';
}

}  // namespace

std::string FoldCase(std::string_view utf8) {
    std::string folded;
    folded.reserve(utf8.size());
    locale_t locale = Utf8Locale();
    for (size_t pos = 0; pos < utf8.size();) {
        char32_t c = Utf8::Next(utf8, pos);
        if (c < 0x80) {
            c = (c >= 'A' && c <= 'Z') ? c + 32 : c;
        } else if (locale != static_cast<locale_t>(nullptr)) {
            c = static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), locale));
        }
        Utf8::Append(folded, c);
    }
    return folded;
}

void CheckItemName(std::string_view name) {
    std::string shown(name);
    if (name.empty() || name == "." || name == ".." || !Utf8::IsValid(name) ||
        Utf8::CodePointCount(name) > MaxItemNameLength) {
        throw Faults::InvalidName(shown);
    }
    size_t pos = 0;
    char32_t first = Utf8::Next(name, pos);
    char32_t last = first;
    for (pos = 0; pos < name.size();) {
        char32_t c = Utf8::Next(name, pos);
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == U':' || c == U'/' || c == U'"') {
            throw Faults::InvalidName(shown);
        }
        last = c;
    }
    if (IsBlank(first) || IsBlank(last)) {
        throw Faults::InvalidName(shown);
    }
}

}  // namespace Tarvik::TestServer
