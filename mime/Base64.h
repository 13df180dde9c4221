#pragma once
// Base64 (RFC 2045): the standard alphabet with "=" padding.

#include <string>
#include <string_view>

#include "mime/String.h"

namespace mimepp {

// All bytes encoded, a CR LF after every 72 characters (54 input bytes) and after a shorter last
// line; empty input gives empty output.
String Base64Encode(std::string_view bytes);

// One line without line breaks (encoded words).
std::string Base64EncodeLine(std::string_view bytes);

// Decodes alphabet characters and ignores every other byte (line breaks, white space, stray
// characters). "=" ends a group: a group of two or three characters still gives its one or two
// bytes, so unpadded text and concatenated encodings decode fully; a lone sixth-bit remnant is
// dropped.
String Base64Decode(std::string_view text);

}  // namespace mimepp
