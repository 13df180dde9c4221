#pragma once
// The plain text a reader sees in an HTML body, as a browser's innerText of the body element gives
// it: scripts, styles and the head are left out; runs of white space collapse to one space except
// in preformatted text; <br> ends a line; block elements (div, li, tr, headings, ...) stand on lines
// of their own and paragraphs are set apart by an empty line, except Word's "Mso" paragraphs, whose
// style has no margins (Outlook writes empty lines as paragraphs of their own); table cells are
// separated by a tab. Non-breaking spaces become spaces and no line ends in spaces.

#include <string>
#include <string_view>

namespace Tarvik::MAPI {

// The text of an HTML document as UTF-8 with CR LF line ends. `encoding` names the charset of the
// bytes ("utf-8", "windows-1252", ...); an empty name lets the document's own <meta> declaration
// decide. Malformed HTML is read as a browser would; bytes that are not HTML at all give their text.
std::string TextFromHtml(std::string_view html, std::string_view encoding = "utf-8");

}  // namespace Tarvik::MAPI
