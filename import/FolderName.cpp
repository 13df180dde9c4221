#include "import/FolderName.h"

#include "runtime/Utf8.h"

namespace {

constexpr size_t entryIdPrefixBytes = 20;

std::string_view StripBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

CleanedFolderName CleanFolderName(std::string_view name) {
    CleanedFolderName result;
    std::string cleaned;
    for (size_t pos = 0; pos < name.size();) {
        bool first = pos == 0;
        char32_t c = Utf8::Next(name, pos);
        char32_t replacement = c;
        if (c < 32) {
            replacement = U' ';
        } else if (c == U'\\' && first) {
            replacement = U'-';
        } else if (c == U':') {
            replacement = U'|';
        } else if (c == U'"') {
            replacement = U'\'';
        } else if (c == U'/') {
            replacement = first ? U'-' : U'\\';
        }
        result.changed |= replacement != c;
        Utf8::Append(cleaned, replacement);
    }
    std::string_view stripped = StripBlanks(cleaned);
    result.changed |= stripped.size() != cleaned.size();
    result.name = std::string(stripped);
    return result;
}

std::optional<std::string> EntryIdSuffix(std::string_view entryId) {
    if (entryId.size() <= entryIdPrefixBytes) {
        return std::nullopt;
    }
    return "{" + HexBytes(entryId.substr(entryIdPrefixBytes)) + "}";
}

std::string WithSuffix(std::string_view name, std::string_view suffix) {
    std::string base(name);
    size_t suffixLength = Utf8::CodePointCount(suffix);
    Utf8::TruncateToCodePoints(base,
                               suffixLength < maxFolderNameLength ? maxFolderNameLength - suffixLength : 0);
    std::string whole(StripBlanks(base));
    whole += suffix;
    Utf8::TruncateToCodePoints(whole, maxFolderNameLength);
    return std::string(StripBlanks(whole));
}

bool SameFolderName(std::string_view a, std::string_view b) {
    return Utf8::EqualIgnoringCase(a, b);
}

std::string FolderNameKey(std::string_view name) {
    std::string key;
    for (size_t pos = 0; pos < name.size();) {
        Utf8::Append(key, Utf8::FoldCase(Utf8::Next(name, pos)));
    }
    return key;
}

std::string HexBytes(std::string_view bytes) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        text += hex[byte >> 4];
        text += hex[byte & 0xf];
    }
    return text;
}
