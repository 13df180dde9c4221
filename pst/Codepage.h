#pragma once
// 8-bit text in a Windows code page to UTF-8 (glibc iconv). Code page 65001 is UTF-8 itself and
// 1200 is UTF-16LE. Bytes that do not convert become U+FFFD; nothing throws.

#include <cstdint>
#include <string>
#include <string_view>

namespace pst {

std::string CodepageToUtf8(std::string_view bytes, uint32_t codepage);

}  // namespace pst
