#include "testserver/HeaderParameters.h"

#include <algorithm>

namespace Tarvik::TestServer {

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return out;
}

std::string TrimBlanks(std::string_view text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) {
        return {};
    }
    size_t end = text.find_last_not_of(" \t");
    return std::string(text.substr(begin, end - begin + 1));
}

namespace {

std::string ReadValue(std::string_view text, size_t& pos) {
    std::string value;
    if (pos < text.size() && text[pos] == '"') {
        for (++pos; pos < text.size() && text[pos] != '"'; ++pos) {
            if (text[pos] == '\\' && pos + 1 < text.size()) {
                ++pos;
            }
            value += text[pos];
        }
        if (pos >= text.size()) {
            throw std::invalid_argument("unterminated quoted parameter");
        }
        ++pos;
        return value;
    }
    while (pos < text.size() && text[pos] != ';') {
        value += text[pos++];
    }
    return TrimBlanks(value);
}

}  // namespace

HeaderParameters ParseHeaderParameters(std::string_view text) {
    HeaderParameters result;
    size_t pos = text.find(';');
    result.value = AsciiLower(TrimBlanks(text.substr(0, pos)));
    while (pos != std::string_view::npos && pos < text.size()) {
        ++pos;  // past ';'
        size_t equals = text.find('=', pos);
        if (equals == std::string_view::npos) {
            if (!TrimBlanks(text.substr(pos)).empty()) {
                throw std::invalid_argument("parameter without value");
            }
            break;
        }
        std::string name = AsciiLower(TrimBlanks(text.substr(pos, equals - pos)));
        pos = equals + 1;
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) {
            ++pos;
        }
        std::string value = ReadValue(text, pos);
        result.params.emplace(std::move(name), std::move(value));
        pos = text.find(';', pos);
    }
    return result;
}

}  // namespace Tarvik::TestServer
