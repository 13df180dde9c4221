#pragma once
// Small text helpers of the server: hashes, base64, random tokens, strict decimal numbers, dates.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Tarvik::TestServer {

// Lower-case hexadecimal SHA-256 of the bytes.
std::string Sha256Hex(std::string_view bytes);

std::string Base64Encode(std::string_view bytes);

// `bytes` random bytes from the system's generator, as lower-case hexadecimal.
std::string RandomHex(size_t bytes);

// A decimal integer with an optional leading minus sign and nothing else (no blanks, no plus sign,
// no leading zeros beyond a single 0), within the 64-bit range.
std::optional<int64_t> ParseDecimal(std::string_view text);

// Milliseconds since 1970 as "YYYY-MM-DDTHH:MM:SS.mmmZ".
std::string FormatUtcMillis(int64_t millis);

}  // namespace Tarvik::TestServer
