#pragma once
// UTF-8 text helpers. All text inside the program is UTF-8; UTF-16 appears only where bytes are
// fixed (PST string properties, UTF-16 text tables, MD5 inputs). Invalid input never throws: broken
// sequences and unpaired surrogates become U+FFFD.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Utf8 {

// Appends the UTF-8 form of a code point (U+FFFD for surrogates and values above U+10FFFF).
void Append(std::string& out, char32_t codePoint);

// Decodes UTF-16 code units (surrogate pairs joined) to UTF-8.
std::string FromUtf16(std::u16string_view text);
// Decodes little-endian UTF-16 bytes; an odd last byte is ignored.
std::string FromUtf16LE(std::string_view bytes);

// Encodes UTF-8 text as UTF-16 code units, and as little-endian UTF-16 bytes.
std::u16string ToUtf16(std::string_view text);
std::string ToUtf16LE(std::string_view text);

// Reads the code point starting at text[pos] and advances pos past it (by one byte, giving
// U+FFFD, when the sequence there is not valid UTF-8).
char32_t Next(std::string_view text, size_t& pos);

// True when the bytes are well-formed UTF-8.
bool IsValid(std::string_view text);

// Number of code points.
size_t CodePointCount(std::string_view text);

// Cuts the text after at most maxCodePoints code points, never inside a sequence.
void TruncateToCodePoints(std::string& text, size_t maxCodePoints);

// Cuts the text to at most maxBytes bytes, never inside a sequence.
void TruncateToBytes(std::string& text, size_t maxBytes);

// The lower-case form of a code point in any script (C.UTF-8's tables).
char32_t FoldCase(char32_t codePoint);

// True when the texts are equal without regard to case, as the server compares names.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

}  // namespace Utf8
