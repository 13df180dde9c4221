#pragma once
// The choice of a body's Content-Transfer-Encoding.

#include <cstddef>

namespace mimepp {

enum class BodyEncoding : int {
    SevenBit = 0,
    QuotedPrintable = 1,
    Base64 = 2,
};

// 7bit for printable ASCII with CR/LF and lines of at most 76 bytes (the line-break byte counts
// as the first of the next line); base64 as soon as more than 17 % of the bytes (rounded) are
// unsafe (controls, tab, DEL, 0x80-0xFF), or at the first unsafe byte of a PDF document;
// quoted-printable otherwise.
BodyEncoding ChooseTransferEncoding(const char* bytes, size_t length);

}  // namespace mimepp
