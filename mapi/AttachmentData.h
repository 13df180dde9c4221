#pragma once
// What the bytes of a by-value attachment say about themselves: a byte-order mark that names the
// charset of a text file, and the MacBinary wrapping that Mac mail programs put around files.

#include <cstddef>
#include <optional>
#include <string_view>

namespace Tarvik::MAPI {

struct ByteOrderMark {
    std::string_view charset;  // "UTF-32BE", "UTF-32LE", "UTF-16BE", "UTF-16LE" or "UTF-8"
    size_t length;             // bytes of the mark
};

// The byte-order mark the data starts with, or nothing. Marks are tried longest first, and only
// data longer than the mark counts (a file that is nothing but a mark is not text).
std::optional<ByteOrderMark> FindByteOrderMark(std::string_view data);

// PR_ATTACH_TAG of an attachment wrapped in MacBinary (the MAPI object identifier for MacBinary).
inline constexpr std::string_view MacBinaryAttachTag{"\x2A\x86\x48\x86\xF7\x14\x03\x0B\x01", 9};

// The file itself inside MacBinary data: the data fork that follows the 128-byte header, as long as
// the header says (the resource fork after it is Mac-only). Nothing when the data does not start
// with a valid MacBinary header; the data is then the file as it is.
std::optional<std::string_view> MacBinaryDataFork(std::string_view data);

}  // namespace Tarvik::MAPI
