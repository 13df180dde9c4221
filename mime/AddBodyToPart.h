#pragma once
// The one procedure through which every body is stored in the MIME tree, transfer-encoded.

#include <cstddef>

#include "mime/Entity.h"

namespace Tarvik::MAPI::Util {

// Encodes `length` bytes into the body of `part` (a body part or a message) and sets its
// Content-Transfer-Encoding. With normaliseLineEnds a CR is first put before every LF that lacks
// one. By ChooseTransferEncoding: "7bit" and the bytes as they are, "Quoted-printable" and
// QuotedPrintableEncode, or "Base64" and Base64Encode (also when quoted-printable fails). The
// body becomes clean with the encoded text; the part and its ancestors are marked modified.
// A null `bytes` is logged and changes nothing.
void AddBodyToPart(mimepp::Entity& part, const char* bytes, size_t length, bool normaliseLineEnds);

}  // namespace Tarvik::MAPI::Util
