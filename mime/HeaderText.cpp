#include "mime/HeaderText.h"

#include "mime/CharClasses.h"

namespace mimepp {
namespace {

constexpr size_t kMaxEncodedWord = 75;
constexpr size_t kMaxBWordBytes = 45;
constexpr size_t kFramingCharacters = 7;  // "=?" "?" letter "?" "?="

bool NeedsEncoding(unsigned char c) {
    return c < 0x20 || c >= 0x80;
}

bool IsAscii(std::string_view bytes) {
    for (unsigned char c : bytes) {
        if (c >= 0x80) {
            return false;
        }
    }
    return true;
}

class PhraseSplitter {
  public:
    PhraseSplitter(std::string_view bytes, std::string_view charset)
        : bytes_(bytes), charset_(charset), utf8_(chars::StartsWithIgnoreCase(charset, "utf-8")) {}

    std::vector<std::unique_ptr<EncodedWord>> QWords() {
        for (size_t start = 0; start < bytes_.size();) {
            size_t length = charset_.size() + kFramingCharacters;
            size_t pos = start;
            size_t lastSpace = std::string_view::npos;
            while (pos < bytes_.size()) {
                std::string_view character = CharacterAt(pos);
                size_t cost = character.size() + 2 * QEscapedCount(character);
                if (pos > start && length + cost > kMaxEncodedWord) {
                    break;
                }
                if (pos > start && (bytes_[pos] == ' ' || bytes_[pos] == '\t')) {
                    lastSpace = pos;
                }
                length += cost;
                pos += character.size();
            }
            size_t end = (pos < bytes_.size() && lastSpace != std::string_view::npos) ? lastSpace : pos;
            Emit('Q', start, end);
            start = end;
        }
        return std::move(words_);
    }

    std::vector<std::unique_ptr<EncodedWord>> BWords() {
        for (size_t start = 0; start < bytes_.size();) {
            size_t pos = start;
            while (pos < bytes_.size()) {
                size_t size = CharacterAt(pos).size();
                if (pos > start && pos - start + size > kMaxBWordBytes) {
                    break;
                }
                pos += size;
            }
            Emit('B', start, pos);
            start = pos;
        }
        return std::move(words_);
    }

  private:
    std::string_view CharacterAt(size_t pos) const {
        return bytes_.substr(pos, utf8_ ? chars::Utf8SequenceLength(bytes_, pos) : 1);
    }

    void Emit(char letter, size_t start, size_t end) {
        words_.push_back(std::make_unique<EncodedWord>(String(charset_), letter,
                                                       String(bytes_.substr(start, end - start))));
    }

    std::string_view bytes_;
    std::string_view charset_;
    bool utf8_;
    std::vector<std::unique_ptr<EncodedWord>> words_;
};

}  // namespace

std::string EncodeHeaderText(std::string_view utf8Text) {
    bool plain = true;
    for (unsigned char c : utf8Text) {
        plain = plain && !NeedsEncoding(c);
    }
    if (plain) {
        return std::string(utf8Text);
    }
    return "=?utf-8?q?" + QEncode(utf8Text) + "?=";
}

std::vector<std::unique_ptr<EncodedWord>> EncodePhraseWords(std::string_view bytes,
                                                            std::string_view charset) {
    std::vector<std::unique_ptr<EncodedWord>> words;
    if (bytes.empty()) {
        return words;
    }
    if (IsAscii(bytes)) {
        words.push_back(std::make_unique<EncodedWord>(String("US-ASCII"), '\0', String(bytes)));
        return words;
    }
    size_t n = bytes.size();
    size_t escaped = QEscapedCount(bytes);
    PhraseSplitter splitter(bytes, charset);
    return n + 2 * escaped < 4 * ((n + 2) / 3) ? splitter.QWords() : splitter.BWords();
}

}  // namespace mimepp
