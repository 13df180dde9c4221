#include "mime/EncodedWord.h"

#include "mime/Base64.h"
#include "mime/CharClasses.h"

namespace mimepp {
namespace {

constexpr std::string_view kHexDigits = "0123456789ABCDEF";
constexpr chars::Table kQLiteral =
    chars::MakeTable("!*+-/0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");

bool IsQ(char letter) {
    return letter == 'Q' || letter == 'q';
}
bool IsB(char letter) {
    return letter == 'B' || letter == 'b';
}

int HexValue(char c) {
    size_t digit = kHexDigits.find(chars::ToUpperAscii(c));
    return digit == std::string_view::npos ? -1 : static_cast<int>(digit);
}

std::string QDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            out.push_back(' ');
        } else if (text[i] == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace

std::string QEncode(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (unsigned char c : bytes) {
        if (kQLiteral[c]) {
            out.push_back(static_cast<char>(c));
        } else if (c == ' ') {
            out.push_back('_');
        } else {
            out.push_back('=');
            out.push_back(kHexDigits[c >> 4]);
            out.push_back(kHexDigits[c & 0xF]);
        }
    }
    return out;
}

size_t QEscapedCount(std::string_view bytes) {
    size_t count = 0;
    for (unsigned char c : bytes) {
        count += !kQLiteral[c] && c != ' ';
    }
    return count;
}

EncodedWord::EncodedWord(const String& charset, char encodingLetter, const String& decodedText)
    : charset_(charset), letter_(encodingLetter), decoded_(decodedText) {}

void EncodedWord::Parse() {
    std::string_view text = text_.View();
    charset_.Clear();
    letter_ = 0;
    decoded_ = text_;
    if (text.size() < 8 || !text.starts_with("=?") || !text.ends_with("?=")) {
        ClearModified();
        return;
    }
    // charset "?" letter "?" encoded text
    std::string_view inner = text.substr(2, text.size() - 4);
    size_t mark = inner.find('?');
    if (mark != std::string_view::npos && mark > 0 && mark + 2 < inner.size() && inner[mark + 2] == '?') {
        char letter = inner[mark + 1];
        std::string_view encoded = inner.substr(mark + 3);
        if ((IsQ(letter) || IsB(letter)) && encoded.find('?') == std::string_view::npos) {
            charset_ = inner.substr(0, mark);
            letter_ = letter;
            decoded_ = IsQ(letter) ? String(QDecode(encoded)) : Base64Decode(encoded);
        }
    }
    ClearModified();
}

void EncodedWord::Assemble() {
    if (!IsModified()) {
        return;
    }
    if (IsQ(letter_) || IsB(letter_)) {
        std::string word = "=?" + charset_.Str() + "?" + letter_ + "?";
        word += IsQ(letter_) ? QEncode(decoded_.View()) : Base64EncodeLine(decoded_.View());
        word += "?=";
        text_ = String(std::move(word));
    } else {
        text_ = decoded_;
    }
    ClearModified();
}

std::unique_ptr<Node> EncodedWord::Clone() const {
    return std::unique_ptr<Node>(new EncodedWord(*this));
}

}  // namespace mimepp
