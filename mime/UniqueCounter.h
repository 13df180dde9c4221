#pragma once
// The process-wide counter behind generated boundaries and message identifiers, and the alphabet
// they are written with.

#include <cstdint>
#include <string_view>

namespace mimepp {

// Digits, upper case, lower case, '$', '%'; base-36 digits use its first 36 characters.
inline constexpr std::string_view kUniqueAlphabet =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz$%";

// Increments the counter atomically and returns its new value.
uint32_t NextUniqueCounter();

}  // namespace mimepp
