#include "testserver/Encoding.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <charconv>
#include <cstdio>
#include <ctime>
#include <stdexcept>

namespace Tarvik::TestServer {

namespace {

std::string Hex(const unsigned char* data, size_t size) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0xF];
    }
    return out;
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
        throw std::runtime_error("SHA-256 failed");
    }
    return Hex(digest, length);
}

std::string Base64Encode(std::string_view bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    auto byte = [&](size_t at) { return static_cast<unsigned char>(bytes[at]); };
    for (; i + 3 <= bytes.size(); i += 3) {
        uint32_t group = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
        out += alphabet[group >> 18];
        out += alphabet[(group >> 12) & 63];
        out += alphabet[(group >> 6) & 63];
        out += alphabet[group & 63];
    }
    if (size_t rest = bytes.size() - i; rest > 0) {
        uint32_t group = byte(i) << 16 | (rest == 2 ? byte(i + 1) << 8 : 0);
        out += alphabet[group >> 18];
        out += alphabet[(group >> 12) & 63];
        out += rest == 2 ? alphabet[(group >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string RandomHex(size_t bytes) {
    std::string buffer(bytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(buffer.data()), static_cast<int>(bytes)) != 1) {
        throw std::runtime_error("no random bytes");
    }
    return Hex(reinterpret_cast<const unsigned char*>(buffer.data()), bytes);
}

std::optional<int64_t> ParseDecimal(std::string_view text) {
    std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
    if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) {
        return std::nullopt;
    }
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string FormatUtcMillis(int64_t millis) {
    int64_t seconds = millis / 1000;
    int64_t rest = millis % 1000;
    if (rest < 0) {
        rest += 1000;
        seconds -= 1;
    }
    time_t when = static_cast<time_t>(seconds);
    tm parts{};
    gmtime_r(&when, &parts);
    char text[96];
    snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900, parts.tm_mon + 1,
             parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, static_cast<int>(rest));
    return text;
}

}  // namespace Tarvik::TestServer
