#pragma once
// Splits structured header text into tokens: atoms (runs of token characters), quoted strings,
// comments, domain literals and single special characters. White space and control characters
// between tokens are skipped. Unterminated quoted strings, comments and literals run to the end of
// the text; nothing is ever read beyond it.

#include <string>
#include <string_view>

#include "mime/CharClasses.h"

namespace mimepp {

struct Token {
    enum class Kind { End, Atom, QuotedString, Comment, DomainLiteral, Special };
    Kind kind = Kind::End;
    size_t begin = 0;  // raw extent in the text, delimiters included
    size_t end = 0;

    bool IsSpecial(std::string_view text, char c) const { return kind == Kind::Special && text[begin] == c; }
};

class Tokenizer {
  public:
    // `specials`: chars::kRfc822Specials for addresses, chars::kTspecials for MIME values.
    Tokenizer(std::string_view text, const chars::Table& specials) : text_(text), specials_(specials) {}

    Token Next();
    size_t Position() const { return pos_; }

  private:
    size_t SkipDelimited(size_t pos, char open, char close, bool nests) const;

    std::string_view text_;
    const chars::Table& specials_;
    size_t pos_ = 0;
};

// The content of a quoted string token (without the quotes, backslash escapes resolved).
std::string UnquoteString(std::string_view quoted);
// `text` as a quoted string: double quotes and backslashes escaped by a backslash.
std::string QuoteString(std::string_view text);

}  // namespace mimepp
