#pragma once
// Windows code pages as mail knows them: the MIME charset name of each, and conversions between a
// code page and UTF-8 (the program's own text) through iconv. Conversions never throw; a code page
// that iconv does not know is reported as such so that the caller can choose a fallback.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Tarvik::MAPI {

// Code pages with a meaning of their own.
inline constexpr uint32_t CodePageWindows1252 = 1252;
inline constexpr uint32_t CodePageUtf8 = 65001;

// The MIME charset name of a code page ("utf-8" for 65001, "shift_jis" for 932, ...); a code page
// without a name of its own gives "windows-" and its decimal number.
std::string CharsetName(uint32_t codePage);

// The code page a MIME charset name stands for (case does not matter; "windows-<number>" and
// "cp<number>" name their number), or nothing for a name that names no Windows code page.
std::optional<uint32_t> CodePageFromCharset(std::string_view charset);

// True when iconv can convert text of this code page.
bool IsCodePageSupported(uint32_t codePage);

// True when text in this code page may travel in a text/plain or text/html MIME part: iconv knows
// it and it keeps ASCII and line ends as single bytes (not UTF-16, not EBCDIC).
bool IsMimeTextCodePage(uint32_t codePage);

// Decodes bytes of a code page to UTF-8. Bytes that are not valid in the code page become U+FFFD.
// Nothing when iconv does not know the code page.
std::optional<std::string> DecodeToUtf8(std::string_view bytes, uint32_t codePage);

// Encodes UTF-8 text in a code page, only when every character fits: nothing when one does not,
// when the text is not valid UTF-8, or when iconv does not know the code page.
std::optional<std::string> EncodeLosslessly(std::string_view utf8, uint32_t codePage);

// A text body ready for a MIME part: its bytes and the charset name that labels them.
struct EncodedText {
    std::string bytes;
    std::string charset;
};

// Encodes a text body in the message's code page when it fits there without loss and that code
// page can travel in a MIME text part; otherwise the text stays UTF-8, labelled "utf-8", so that
// no character is lost.
EncodedText EncodeTextBody(std::string_view utf8, uint32_t codePage);

}  // namespace Tarvik::MAPI
