#pragma once
// What a message's RTF body says about the message: the format its body was first written in, and
// the HTML that Outlook keeps wrapped inside the RTF of HTML mail ("\fromhtml" encapsulation).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Tarvik::MAPI {

// The format a message body was written in; the values are MAPI's native body types.
enum class NativeBody : uint32_t { Rtf = 1, Html = 2, PlainText = 4 };

// The native format that an RTF body announces in its header: "\fromhtml" for HTML, "\fromtext"
// for plain text, anything else for RTF written as such.
NativeBody NativeBodyTypeOfRtf(std::string_view rtf);

// The HTML wrapped in an RTF body, as UTF-8. The HTML's markup comes from the \*\htmltag groups
// (\*\mhtmltag groups take the place of the \*\htmltag group that repeats them), its text from
// between them; what lies between \htmlrtf and \htmlrtf0 is RTF-only rendering and is dropped.
// \'hh escapes are decoded in the code page of the current font (or of the document) and \uN
// escapes as Unicode, so no character is lost; \par becomes CR LF. A <meta> charset declaration in
// the HTML is changed to "utf-8" so that the HTML states its real encoding.
// Nothing when the RTF does not wrap HTML (its first "\from..." control word is not \fromhtml).
// Wrapped HTML without any \*\htmltag group gives an empty text.
std::optional<std::string> UnwrapHtmlFromRtf(std::string_view rtf);

// Decompresses a PR_RTF_COMPRESSED value and unwraps its HTML (UTF-8). Nothing when the RTF does
// not wrap HTML. Throws CompressedRtfError when the compressed data is damaged.
std::optional<std::string> HtmlFromCompressedRtf(std::string_view compressedRtf);

}  // namespace Tarvik::MAPI
