#include "testserver/HeaderDecoder.h"

#include <iconv.h>

#include <cstdint>
#include <optional>

namespace Tarvik::TestServer {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<std::string> DecodeQ(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            out += ' ';
        } else if (text[i] == '=') {
            if (i + 2 >= text.size()) {
                return std::nullopt;
            }
            int high = HexValue(text[i + 1]);
            int low = HexValue(text[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<std::string> DecodeB(std::string_view text) {
    std::string out;
    uint32_t group = 0;
    int bits = 0;
    for (char c : text) {
        int value;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '+')
            value = 62;
        else if (c == '/')
            value = 63;
        else if (c == '=')
            break;
        else
            return std::nullopt;
        group = group << 6 | static_cast<uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((group >> bits) & 0xFF);
        }
    }
    return out;
}

std::optional<std::string> ToUtf8(const std::string& charset, const std::string& bytes) {
    iconv_t converter = iconv_open("UTF-8", charset.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string out(bytes.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    if (result == static_cast<size_t>(-1)) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}

// Decodes the encoded word at text[pos] ("=?...?="); on success advances pos past it.
std::optional<std::string> DecodeWord(std::string_view text, size_t& pos) {
    if (text.compare(pos, 2, "=?") != 0) {
        return std::nullopt;
    }
    size_t charsetEnd = text.find('?', pos + 2);
    if (charsetEnd == std::string_view::npos || charsetEnd + 2 >= text.size() ||
        text[charsetEnd + 2] != '?') {
        return std::nullopt;
    }
    size_t end = text.find("?=", charsetEnd + 3);
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    std::string charset(text.substr(pos + 2, charsetEnd - pos - 2));
    if (size_t star = charset.find('*'); star != std::string::npos) {
        charset.resize(star);  // RFC 2231 language suffix
    }
    char encoding = text[charsetEnd + 1];
    std::string_view payload = text.substr(charsetEnd + 3, end - charsetEnd - 3);
    std::optional<std::string> bytes = (encoding == 'B' || encoding == 'b')   ? DecodeB(payload)
                                       : (encoding == 'Q' || encoding == 'q') ? DecodeQ(payload)
                                                                              : std::nullopt;
    if (!bytes) {
        return std::nullopt;
    }
    std::optional<std::string> decoded = ToUtf8(charset, *bytes);
    if (decoded) {
        pos = end + 2;
    }
    return decoded;
}

}  // namespace

std::string DecodeHeaderText(std::string_view text) {
    std::string out;
    size_t pos = 0;
    bool lastWasEncoded = false;
    while (pos < text.size()) {
        size_t blanks = pos;
        while (blanks < text.size() && (text[blanks] == ' ' || text[blanks] == '\t')) {
            ++blanks;
        }
        size_t wordPos = blanks;
        if (std::optional<std::string> decoded = DecodeWord(text, wordPos)) {
            if (!lastWasEncoded) {
                out.append(text.substr(pos, blanks - pos));
            }
            out += *decoded;
            pos = wordPos;
            lastWasEncoded = true;
            continue;
        }
        out.append(text.substr(pos, blanks - pos));
        pos = blanks;
        size_t wordEnd = pos;
        while (wordEnd < text.size() && text[wordEnd] != ' ' && text[wordEnd] != '\t') {
            ++wordEnd;
        }
        out.append(text.substr(pos, wordEnd - pos));
        lastWasEncoded = wordEnd == pos ? lastWasEncoded : false;
        pos = wordEnd;
    }
    return out;
}

}  // namespace Tarvik::TestServer
