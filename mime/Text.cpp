#include "mime/Text.h"

#include "mime/CharClasses.h"

namespace mimepp {

Text::~Text() = default;

Text::Text(const Text& other) : FieldBody(other) {
    for (const auto& word : other.words_) {
        words_.push_back(CloneAs(*word));
        Attach(*words_.back(), this);
    }
}

size_t Text::NumEncodedWords() const {
    EnsureParsed();
    return words_.size();
}

EncodedWord& Text::EncodedWordAt(size_t index) const {
    EnsureParsed();
    return *words_.at(index);
}

void Text::SetEncodedWords(std::vector<std::unique_ptr<EncodedWord>> words) {
    MarkParsed();
    words_ = std::move(words);
    for (const auto& word : words_) {
        Attach(*word, this);
    }
    SetModified();
}

std::string Text::DecodedText() const {
    EnsureParsed();
    std::string out;
    bool previousEncoded = false;
    for (size_t i = 0; i < words_.size(); ++i) {
        bool encoded = words_[i]->EncodingLetter() != 0;
        if (i > 0 && !(encoded && previousEncoded)) {
            out.push_back(' ');
        }
        out += words_[i]->DecodedText().View();
        previousEncoded = encoded;
    }
    return out;
}

void Text::Parse() {
    MarkParsed();
    words_.clear();
    std::string_view text = text_.View();
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && chars::IsWhiteSpace(text[pos])) {
            ++pos;
        }
        size_t end = pos;
        while (end < text.size() && !chars::IsWhiteSpace(text[end])) {
            ++end;
        }
        if (end > pos) {
            auto word = std::make_unique<EncodedWord>();
            Attach(*word, this);
            ParseChild(*word, text_.Substr(pos, end - pos));
            words_.push_back(std::move(word));
        }
        pos = end;
    }
    ClearModified();
}

void Text::Assemble() {
    EnsureParsed();
    if (!IsModified()) {
        return;
    }
    String text;
    for (const auto& word : words_) {
        word->Assemble();
        if (!text.empty()) {
            text += " ";
        }
        text += word->AsString();
    }
    StoreAssembled(text);
}

std::unique_ptr<Node> Text::Clone() const {
    return std::unique_ptr<Node>(new Text(*this));
}

}  // namespace mimepp
