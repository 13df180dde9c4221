#pragma once
// Decodes header text with RFC 2047 encoded words (=?charset?B|Q?...?=) to UTF-8, so that a dump can
// show a message's subject as the user sees it.

#include <string>
#include <string_view>

namespace Tarvik::TestServer {

// Unfolded header text to UTF-8. Encoded words in a charset iconv does not know, or that are
// malformed, stay as they are; blanks between two adjacent encoded words are dropped.
std::string DecodeHeaderText(std::string_view text);

}  // namespace Tarvik::TestServer
