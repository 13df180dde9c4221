#include "mime/Tokenizer.h"

namespace mimepp {

Token Tokenizer::Next() {
    while (pos_ < text_.size() && !chars::IsAtomChar(text_[pos_], specials_) &&
           !specials_[static_cast<unsigned char>(text_[pos_])]) {
        ++pos_;
    }
    Token token;
    token.begin = pos_;
    if (pos_ >= text_.size()) {
        token.end = pos_;
        return token;
    }
    switch (text_[pos_]) {
        case '"':
            token.kind = Token::Kind::QuotedString;
            pos_ = SkipDelimited(pos_, '"', '"', false);
            break;
        case '(':
            token.kind = Token::Kind::Comment;
            pos_ = SkipDelimited(pos_, '(', ')', true);
            break;
        case '[':
            token.kind = Token::Kind::DomainLiteral;
            pos_ = SkipDelimited(pos_, '[', ']', false);
            break;
        default:
            if (specials_[static_cast<unsigned char>(text_[pos_])]) {
                token.kind = Token::Kind::Special;
                ++pos_;
            } else {
                token.kind = Token::Kind::Atom;
                while (pos_ < text_.size() && chars::IsAtomChar(text_[pos_], specials_)) {
                    ++pos_;
                }
            }
    }
    token.end = pos_;
    return token;
}

// Just past the closing character that matches text_[pos] (or the end of the text).
size_t Tokenizer::SkipDelimited(size_t pos, char open, char close, bool nests) const {
    int depth = 0;
    while (pos < text_.size()) {
        char c = text_[pos];
        if (c == '\\' && depth > 0) {
            pos += 2;
            continue;
        }
        ++pos;
        if (c == close && depth > 0) {
            if (--depth == 0) {
                break;
            }
        } else if (c == open && (depth == 0 || nests)) {
            ++depth;
        }
    }
    return std::min(pos, text_.size());
}

std::string UnquoteString(std::string_view quoted) {
    if (!quoted.empty() && quoted.front() == '"') {
        quoted.remove_prefix(1);
    }
    std::string out;
    out.reserve(quoted.size());
    for (size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] == '\\' && i + 1 < quoted.size()) {
            out.push_back(quoted[++i]);
        } else if (quoted[i] == '"') {
            break;
        } else {
            out.push_back(quoted[i]);
        }
    }
    return out;
}

std::string QuoteString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

}  // namespace mimepp
