#include "mime/QuotedPrintable.h"

#include <array>

#include "mime/CharClasses.h"

namespace mimepp {
namespace {

constexpr size_t kMaxLine = 76;
constexpr size_t kSearchFrom = 74;  // a soft break goes after index 74 at the latest
constexpr std::string_view kHexDigits = "0123456789ABCDEF";

constexpr chars::Table kLiteral =
    chars::MakeTable(" %&'()*+,-./0123456789:;<>?ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz");

class Encoder {
  public:
    explicit Encoder(size_t inputSize) { out_.reserve(inputSize + inputSize / 8 + 16); }

    void Add(unsigned char c) {
        if (kLiteral[c]) {
            line_.push_back(static_cast<char>(c));
        } else {
            line_.push_back('=');
            line_.push_back(kHexDigits[c >> 4]);
            line_.push_back(kHexDigits[c & 0xF]);
        }
        while (line_.size() > kMaxLine) {
            SoftBreak();
        }
    }

    void EndLine() {
        if (!line_.empty() && line_.back() == ' ') {
            line_.replace(line_.size() - 1, 1, "=20");
        }
        EscapeLineStart();
        while (line_.size() > kMaxLine) {
            SoftBreak();
        }
        Write(line_.size());
        out_.append(kLineEnd);
    }

    // The last line has no line break: a soft break keeps its trailing white space.
    String Finish() {
        if (!line_.empty()) {
            EscapeLineStart();
            while (line_.size() + 1 > kMaxLine) {
                SoftBreak();
            }
            Write(line_.size());
            out_.append("=");
            out_.append(kLineEnd);
        }
        return String(std::move(out_));
    }

  private:
    // "From " would be taken for an mbox separator, and a lone dot for the end of an SMTP message.
    void EscapeLineStart() {
        if (line_.starts_with("From ")) {
            line_.replace(4, 1, "=20");
        } else if (line_.starts_with('.')) {
            line_.replace(0, 1, "=2E");
        }
    }

    void SoftBreak() {
        EscapeLineStart();
        size_t take;
        size_t space = line_.rfind(' ', kSearchFrom);
        if (space != std::string::npos) {
            take = space + 1;
        } else if (line_[kSearchFrom - 1] == '=') {
            take = kSearchFrom - 1;
        } else if (line_[kSearchFrom] == '=') {
            take = kSearchFrom;
        } else {
            take = kSearchFrom + 1;
        }
        Write(take);
        out_.append("=");
        out_.append(kLineEnd);
    }

    void Write(size_t count) {
        out_.append(line_, 0, count);
        line_.erase(0, count);
    }

    std::string out_;
    std::string line_;
};

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Length of the line break at text[pos] (LF or CR LF), 0 when there is none.
size_t LineBreakAt(std::string_view text, size_t pos) {
    if (pos < text.size() && text[pos] == '\n') {
        return 1;
    }
    return text.compare(pos, 2, "\r\n") == 0 ? 2 : 0;
}

}  // namespace

String QuotedPrintableEncode(std::string_view bytes) {
    Encoder encoder(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            continue;
        }
        if (c == '\n') {
            encoder.EndLine();
        } else {
            encoder.Add(static_cast<unsigned char>(c));
        }
    }
    return encoder.Finish();
}

String QuotedPrintableDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        char c = text[pos];
        if (IsBlank(c)) {
            size_t end = pos;
            while (end < text.size() && IsBlank(text[end])) {
                ++end;
            }
            if (end < text.size() && LineBreakAt(text, end) == 0) {
                out.append(text, pos, end - pos);
            }
            pos = end;
        } else if (size_t lineBreak = LineBreakAt(text, pos)) {
            out.append(kLineEnd);
            pos += lineBreak;
        } else if (c == '=') {
            size_t end = pos + 1;
            while (end < text.size() && IsBlank(text[end])) {
                ++end;
            }
            if (end == text.size() || LineBreakAt(text, end) != 0) {
                pos = end + LineBreakAt(text, end);
            } else if (pos + 2 < text.size() && HexValue(text[pos + 1]) >= 0 &&
                       HexValue(text[pos + 2]) >= 0) {
                out.push_back(static_cast<char>(HexValue(text[pos + 1]) * 16 + HexValue(text[pos + 2])));
                pos += 3;
            } else {
                out.push_back('=');
                pos += 1;
            }
        } else {
            auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x20 && byte != 0x7F) {
                out.push_back(c);
            }
            pos += 1;
        }
    }
    return String(std::move(out));
}

}  // namespace mimepp
