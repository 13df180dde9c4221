#include "testserver/MimeCheck.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

#include "runtime/Utf8.h"
#include "testserver/HeaderDecoder.h"
#include "testserver/HeaderParameters.h"

namespace Tarvik::TestServer {

namespace {

constexpr int MaxNesting = 32;
constexpr size_t MaxBoundaryLength = 70;

struct Field {
    std::string name;   // as written
    std::string value;  // unfolded (line breaks of continuation lines removed), trimmed
};

struct Entity {
    std::vector<Field> fields;
    std::string_view body;
};

void CheckFieldValue(const std::string& name, std::string_view value) {
    for (unsigned char c : value) {
        if ((c < 0x20 && c != '\t') || c == 0x7F) {
            throw MimeError("control character in header field " + name);
        }
    }
    if (!Utf8::IsValid(value)) {
        throw MimeError("8-bit header field " + name + " is not UTF-8");
    }
}

// Splits the header section at the start of `text` from the body. The section ends at an empty line
// or at the end of the text.
Entity ParseEntity(std::string_view text) {
    Entity entity;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t lineEnd = text.find('\n', pos);
        if (lineEnd == std::string_view::npos) {
            throw MimeError("header section does not end with CR LF");
        }
        if (lineEnd == pos || text[lineEnd - 1] != '\r') {
            throw MimeError("bare line feed in header section");
        }
        std::string_view line = text.substr(pos, lineEnd - 1 - pos);
        pos = lineEnd + 1;
        if (line.empty()) {
            entity.body = text.substr(pos);
            return entity;
        }
        if (line.find('\r') != std::string_view::npos) {
            throw MimeError("bare carriage return in header section");
        }
        if (line[0] == ' ' || line[0] == '\t') {
            if (entity.fields.empty()) {
                throw MimeError("header section starts with a continuation line");
            }
            entity.fields.back().value += line;
            continue;
        }
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            throw MimeError("header line without field name: " + std::string(line.substr(0, 40)));
        }
        std::string name(line.substr(0, colon));
        for (unsigned char c : name) {
            if (c <= 32 || c >= 127) {
                throw MimeError("invalid header field name: " + name);
            }
        }
        entity.fields.push_back({name, std::string(line.substr(colon + 1))});
    }
    entity.body = text.substr(text.size());
    return entity;
}

const Field* FindField(const Entity& entity, std::string_view name) {
    for (const Field& field : entity.fields) {
        if (AsciiLower(field.name) == name) {
            return &field;
        }
    }
    return nullptr;
}

struct ContentType {
    std::string type = "text";
    std::string subtype = "plain";
    std::string boundary;
};

ContentType ParseContentType(const Field* field, const ContentType& fallback) {
    if (field == nullptr) {
        return fallback;
    }
    HeaderParameters parsed;
    try {
        parsed = ParseHeaderParameters(field->value);
    } catch (const std::invalid_argument& error) {
        throw MimeError(std::string("invalid Content-Type: ") + error.what());
    }
    size_t slash = parsed.value.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == parsed.value.size()) {
        throw MimeError("invalid Content-Type: " + TrimBlanks(field->value));
    }
    ContentType result;
    result.type = parsed.value.substr(0, slash);
    result.subtype = parsed.value.substr(slash + 1);
    if (auto boundary = parsed.params.find("boundary"); boundary != parsed.params.end()) {
        result.boundary = boundary->second;
    }
    return result;
}

void CheckBase64(std::string_view body) {
    size_t symbols = 0;
    size_t padding = 0;
    for (char c : body) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t') {
            continue;
        }
        bool alphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                        c == '+' || c == '/';
        if (c == '=') {
            ++padding;
        } else if (!alphabet || padding > 0) {
            throw MimeError("invalid character in base64 body");
        }
        ++symbols;
    }
    if (symbols % 4 != 0 || padding > 2) {
        throw MimeError("truncated base64 body");
    }
}

void CheckQuotedPrintable(std::string_view body) {
    for (size_t i = 0; i < body.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(body[i]);
        if (c >= 0x80 || c == 0) {
            throw MimeError("8-bit byte in quoted-printable body");
        }
        if (c != '=') {
            continue;
        }
        std::string_view rest = body.substr(i + 1);
        size_t blanks = rest.find_first_not_of(" \t");
        if (blanks == std::string_view::npos || rest.substr(blanks).starts_with("\r\n")) {
            continue;  // soft line break
        }
        if (rest.size() < 2 || !std::isxdigit(static_cast<unsigned char>(rest[0])) ||
            !std::isxdigit(static_cast<unsigned char>(rest[1]))) {
            throw MimeError("invalid escape in quoted-printable body");
        }
        i += 2;
    }
}

void CheckLeafBody(std::string_view body, const std::string& encoding) {
    if (encoding == "base64") {
        CheckBase64(body);
    } else if (encoding == "quoted-printable") {
        CheckQuotedPrintable(body);
    } else if (encoding == "7bit") {
        for (unsigned char c : body) {
            if (c >= 0x80 || c == 0) {
                throw MimeError("8-bit byte in a 7bit body");
            }
        }
    } else if (encoding == "8bit") {
        if (body.find('\0') != std::string_view::npos) {
            throw MimeError("NUL byte in an 8bit body");
        }
    }
}

class Checker {
  public:
    MimeSummary summary;

    Entity CheckMessage(std::string_view text, int depth) {
        Entity entity = ParseEntity(text);
        if (entity.fields.empty()) {
            throw MimeError("message without header fields");
        }
        CheckEntity(entity, ContentType{}, depth);
        return entity;
    }

    void CheckEntity(const Entity& entity, const ContentType& defaultType, int depth) {
        if (depth > MaxNesting) {
            throw MimeError("MIME parts nested too deeply");
        }
        for (const Field& field : entity.fields) {
            CheckFieldValue(field.name, field.value);
        }
        ContentType type = ParseContentType(FindField(entity, "content-type"), defaultType);
        const Field* encodingField = FindField(entity, "content-transfer-encoding");
        std::string encoding =
            encodingField != nullptr ? AsciiLower(TrimBlanks(encodingField->value)) : "7bit";
        static const std::vector<std::string> known = {"7bit", "8bit", "binary", "quoted-printable",
                                                       "base64"};
        if (std::find(known.begin(), known.end(), encoding) == known.end()) {
            throw MimeError("unknown Content-Transfer-Encoding: " + encoding);
        }
        bool identity = encoding == "7bit" || encoding == "8bit" || encoding == "binary";
        if (type.type == "multipart") {
            if (!identity) {
                throw MimeError("multipart body with Content-Transfer-Encoding " + encoding);
            }
            CheckMultipart(entity.body, type, depth);
        } else if (type.type == "message" && type.subtype == "rfc822" && identity) {
            CheckMessage(entity.body, depth + 1);
        } else {
            CheckLeafBody(entity.body, encoding);
            ++summary.leafParts;
        }
    }

    void CheckMultipart(std::string_view body, const ContentType& type, int depth) {
        if (type.boundary.empty()) {
            throw MimeError("multipart/" + type.subtype + " without boundary");
        }
        if (type.boundary.size() > MaxBoundaryLength) {
            throw MimeError("boundary longer than 70 characters");
        }
        ContentType childDefault;
        if (type.subtype == "digest") {
            childDefault.type = "message";
            childDefault.subtype = "rfc822";
        }
        const std::string delimiter = "--" + type.boundary;
        std::optional<size_t> partStart;
        size_t searchFrom = 0;
        while (true) {
            std::optional<size_t> line = NextDelimiterLine(body, delimiter, searchFrom, !partStart);
            if (!line) {
                throw MimeError(partStart ? "multipart body without closing boundary"
                                          : "multipart body without boundary line");
            }
            size_t after = *line + delimiter.size();
            bool closing = body.compare(after, 2, "--") == 0;
            if (partStart) {
                size_t partEnd = *line - 2;  // the CR LF before the delimiter belongs to it
                CheckEntity(ParseEntity(body.substr(*partStart, partEnd - *partStart)), childDefault,
                            depth + 1);
            } else if (closing) {
                throw MimeError("multipart body without parts");
            }
            if (closing) {
                return;
            }
            partStart = body.find("\r\n", after) + 2;
            searchFrom = *partStart;
        }
    }

    // The offset of the next delimiter line at or after `from`: the delimiter, an optional "--",
    // optional blanks and CR LF (or the end of the body for a closing delimiter). Apart from the very
    // first line (allowed at `from` itself), a delimiter line follows a CR LF that lies inside the
    // searched range, so that every part has its own line end before the delimiter.
    static std::optional<size_t> NextDelimiterLine(std::string_view body, const std::string& delimiter,
                                                   size_t from, bool allowAtFrom) {
        for (size_t pos = from;; ++pos) {
            pos = body.find(delimiter, pos);
            if (pos == std::string_view::npos) {
                return std::nullopt;
            }
            bool lineStart =
                (allowAtFrom && pos == from) || (pos >= from + 2 && body.compare(pos - 2, 2, "\r\n") == 0);
            if (!lineStart) {
                continue;
            }
            size_t after = pos + delimiter.size();
            bool closing = body.compare(after, 2, "--") == 0;
            size_t rest = closing ? after + 2 : after;
            while (rest < body.size() && (body[rest] == ' ' || body[rest] == '\t')) {
                ++rest;
            }
            if (body.compare(rest, 2, "\r\n") == 0 || (closing && rest == body.size())) {
                return pos;
            }
        }
    }
};

}  // namespace

MimeSummary CheckMime(std::string_view message) {
    if (message.empty()) {
        throw MimeError("empty message");
    }
    Checker checker;
    Entity top = checker.CheckMessage(message, 0);
    if (const Field* subject = FindField(top, "subject")) {
        checker.summary.subject = DecodeHeaderText(TrimBlanks(subject->value));
    }
    if (const Field* id = FindField(top, "message-id")) {
        checker.summary.messageId = TrimBlanks(id->value);
    }
    return checker.summary;
}

}  // namespace Tarvik::TestServer
