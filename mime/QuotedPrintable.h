#pragma once
// Quoted-printable (RFC 2045) for bodies.

#include <string_view>

#include "mime/String.h"

namespace mimepp {

// Encodes line by line. Space and % & ' ( ) * + , - . / 0-9 : ; < > ? A-Z _ a-z stay as they are;
// every other byte but CR and LF is written "=XX" (upper-case hex), tab included. CR LF and a
// bare LF end a line (written CR LF); a bare CR is =0D. Lines are at most 76 characters: a longer
// one gets soft breaks ("=" CR LF) after its last space within the first 75 characters, or after
// 75 characters without cutting an =XX triplet. A line starting "From " or "." is escaped
// ("From=20", "=2E"), and a space ending a line is =20. A last line without a line break ends with
// a soft break, so decoding gives back exactly the input (with every line break as CR LF).
String QuotedPrintableEncode(std::string_view bytes);

// Decodes: =XX (either case) gives the byte; "=" followed by spaces or tabs and a line break (or
// the end of the text) is a soft break; spaces and tabs before a line break are dropped; a line
// break (LF or CR LF) gives CR LF; a lone CR and other control characters but tab are dropped;
// a malformed "=" sequence is kept as it is.
String QuotedPrintableDecode(std::string_view text);

}  // namespace mimepp
