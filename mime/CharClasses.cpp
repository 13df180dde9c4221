#include "mime/CharClasses.h"

namespace mimepp::chars {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

std::string_view TrimWhiteSpace(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsWhiteSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && IsWhiteSpace(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

size_t Utf8SequenceLength(std::string_view text, size_t pos) {
    auto byte = static_cast<unsigned char>(text[pos]);
    size_t length = 1;
    if ((byte & 0xE0) == 0xC0) {
        length = 2;
    } else if ((byte & 0xF0) == 0xE0) {
        length = 3;
    } else if ((byte & 0xF8) == 0xF0) {
        length = 4;
    }
    if (pos + length > text.size()) {
        return 1;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) {
            return 1;
        }
    }
    return length;
}

}  // namespace mimepp::chars
