#include "testserver/MultipartForm.h"

#include <algorithm>

#include "runtime/Utf8.h"
#include "testserver/HeaderParameters.h"

namespace Tarvik::TestServer {

namespace {

HeaderParameters Parameters(std::string_view value, const char* what) {
    try {
        return ParseHeaderParameters(value);
    } catch (const std::invalid_argument& error) {
        throw FormError(std::string("invalid ") + what + ": " + error.what());
    }
}

FormPart ParsePartHeaders(std::string_view headers) {
    FormPart part;
    bool disposition = false;
    size_t pos = 0;
    while (pos < headers.size()) {
        size_t end = std::min(headers.find("\r\n", pos), headers.size());
        std::string_view line = headers.substr(pos, end - pos);
        pos = end + 2;
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            throw FormError("malformed part header line");
        }
        std::string name = AsciiLower(line.substr(0, colon));
        std::string_view value = line.substr(colon + 1);
        if (name == "content-disposition") {
            HeaderParameters parsed = Parameters(value, "Content-Disposition");
            auto fieldName = parsed.params.find("name");
            if (parsed.value != "form-data" || fieldName == parsed.params.end()) {
                throw FormError("part without form-data name");
            }
            part.name = fieldName->second;
            if (auto filename = parsed.params.find("filename"); filename != parsed.params.end()) {
                part.filename = filename->second;
            }
            disposition = true;
        } else if (name == "content-type") {
            part.contentType = TrimBlanks(value);
        } else if (name == "content-transfer-encoding") {
            part.transferEncoding = AsciiLower(TrimBlanks(value));
        }
    }
    if (!disposition) {
        throw FormError("part without Content-Disposition");
    }
    return part;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// What cpp-httplib makes of a header value: %XX becomes that byte, %uXXXX that code point in UTF-8.
std::string PercentDecoded(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 5 < text.size() && text[i + 1] == 'u') {
            int value = 0;
            bool hex = true;
            for (size_t k = i + 2; k < i + 6; ++k) {
                hex = hex && HexDigit(text[k]) >= 0;
                value = value * 16 + std::max(0, HexDigit(text[k]));
            }
            if (hex) {
                Utf8::Append(out, static_cast<char32_t>(value));
                i += 5;
                continue;
            }
        }
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
            continue;
        }
        out += text[i];
    }
    return out;
}

}  // namespace

std::string BodyBoundary(std::string_view body, std::string_view declared) {
    size_t lineEnd = body.find("\r\n");
    if (!body.starts_with("--") || lineEnd == std::string_view::npos) {
        throw FormError("form does not start with a boundary line");
    }
    std::string boundary(body.substr(2, lineEnd - 2));
    if (boundary != declared && PercentDecoded(boundary) != declared) {
        throw FormError("form does not start with its boundary");
    }
    return boundary;
}

std::string FormBoundary(std::string_view contentType) {
    HeaderParameters parsed = Parameters(contentType, "Content-Type");
    auto boundary = parsed.params.find("boundary");
    if (parsed.value != "multipart/form-data") {
        throw FormError("Content-Type is not multipart/form-data");
    }
    if (boundary == parsed.params.end() || boundary->second.empty()) {
        throw FormError("multipart/form-data without boundary");
    }
    return boundary->second;
}

std::vector<FormPart> ParseMultipartForm(std::string_view body, std::string_view boundary) {
    const std::string delimiter = "--" + std::string(boundary);
    const std::string nextDelimiter = "\r\n" + delimiter;
    if (!body.starts_with(delimiter)) {
        throw FormError("form does not start with its boundary");
    }
    std::vector<FormPart> parts;
    size_t pos = delimiter.size();
    while (true) {
        if (body.substr(pos) == "--\r\n" || body.substr(pos) == "--") {
            if (parts.empty()) {
                throw FormError("form without parts");
            }
            return parts;
        }
        if (body.compare(pos, 2, "\r\n") != 0) {
            throw FormError("malformed boundary line");
        }
        pos += 2;
        if (body.compare(pos, 2, "\r\n") == 0) {
            throw FormError("part without Content-Disposition");
        }
        size_t headersEnd = body.find("\r\n\r\n", pos);
        if (headersEnd == std::string_view::npos) {
            throw FormError("part header section does not end");
        }
        FormPart part = ParsePartHeaders(body.substr(pos, headersEnd - pos));
        size_t contentStart = headersEnd + 4;
        // The first CR LF + delimiter followed by "--" or CR LF ends the part.
        size_t contentEnd = contentStart;
        while (true) {
            contentEnd = body.find(nextDelimiter, contentEnd);
            if (contentEnd == std::string_view::npos) {
                throw FormError("form without closing boundary");
            }
            size_t after = contentEnd + nextDelimiter.size();
            if (body.compare(after, 2, "--") == 0 || body.compare(after, 2, "\r\n") == 0) {
                break;
            }
            ++contentEnd;
        }
        part.content = body.substr(contentStart, contentEnd - contentStart);
        parts.push_back(std::move(part));
        pos = contentEnd + nextDelimiter.size();
        if (body.compare(pos, 2, "--") == 0 && body.substr(pos) != "--\r\n" && body.substr(pos) != "--") {
            throw FormError("data after the closing boundary");
        }
    }
}

}  // namespace Tarvik::TestServer
