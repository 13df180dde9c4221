#pragma once
// The fixed character classes of the composer and the library-wide line end. Bytes are compared
// as unsigned values; every table covers all 256 of them.

#include <array>
#include <string_view>

namespace mimepp {

// Every line end the composer and its encoders write.
inline constexpr std::string_view kLineEnd = "\r\n";

namespace chars {

using Table = std::array<bool, 256>;

constexpr Table MakeTable(std::string_view members) {
    Table table{};
    for (char c : members) {
        table[static_cast<unsigned char>(c)] = true;
    }
    return table;
}

// Space, tab, CR and LF: where folding and tokenising split.
inline constexpr Table kWhiteSpace = MakeTable(" \t\r\n");
// RFC 822 specials: characters that force a phrase into a quoted string.
inline constexpr Table kRfc822Specials = MakeTable("()<>@,;:\\.[]\"");
// MIME tspecials: characters that force a parameter value into a quoted string.
inline constexpr Table kTspecials = MakeTable("()<>@,;:\\/[]?=\"");

inline bool IsWhiteSpace(unsigned char c) {
    return kWhiteSpace[c];
}
inline bool IsRfc822Special(unsigned char c) {
    return kRfc822Specials[c];
}
inline bool IsTspecial(unsigned char c) {
    return kTspecials[c];
}

// The bytes of an atom or token: 0x21-0xFF except DEL and the given specials.
inline bool IsAtomChar(unsigned char c, const Table& specials) {
    return c > 0x20 && c != 0x7F && !specials[c];
}
inline bool IsTokenChar(unsigned char c) {
    return IsAtomChar(c, kTspecials);
}

inline char ToLowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
inline char ToUpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// ASCII letters folded, every other byte compared as it is.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);

// The text without leading and trailing white space.
std::string_view TrimWhiteSpace(std::string_view text);

// Length of the UTF-8 sequence that starts at text[pos]: 2, 3 or 4 for a lead byte followed by its
// continuation bytes, 1 for anything else (ASCII, a stray or truncated sequence).
size_t Utf8SequenceLength(std::string_view text, size_t pos);

}  // namespace chars
}  // namespace mimepp
