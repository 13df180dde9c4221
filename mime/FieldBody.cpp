#include "mime/FieldBody.h"

#include "mime/CharClasses.h"
#include "mime/Field.h"

namespace mimepp {
namespace {

constexpr size_t kFoldColumn = 76;
constexpr std::string_view kContinuation = "\r\n  ";

// End of the word that starts at `pos`. With keepQuotedStrings a quoted string (backslash escapes
// honoured, possibly unterminated) belongs to the word with all its white space.
size_t WordEnd(std::string_view text, size_t pos, bool keepQuotedStrings) {
    bool quoted = false;
    while (pos < text.size()) {
        char c = text[pos];
        if (quoted) {
            if (c == '\\') {
                pos += 2;
                continue;
            }
            quoted = c != '"';
        } else if (chars::IsWhiteSpace(c)) {
            break;
        } else if (c == '"' && keepQuotedStrings) {
            quoted = true;
        }
        ++pos;
    }
    return std::min(pos, text.size());
}

// A line break inside a quoted string would end the field; it becomes a space.
void AppendWord(std::string& out, std::string_view word) {
    for (char c : word) {
        out.push_back(c == '\r' || c == '\n' ? ' ' : c);
    }
}

}  // namespace

String Fold(std::string_view text, size_t column, bool keepQuotedStrings) {
    std::string out;
    out.reserve(text.size() + 8);
    bool lineHasWord = false;
    size_t pos = 0;
    while (true) {
        while (pos < text.size() && chars::IsWhiteSpace(text[pos])) {
            ++pos;
        }
        if (pos >= text.size()) {
            break;
        }
        size_t end = WordEnd(text, pos, keepQuotedStrings);
        size_t length = end - pos;
        if ((lineHasWord ? 1 : 0) + length + column > kFoldColumn) {
            out.append(kContinuation);
            column = 2;
            lineHasWord = false;
        } else if (lineHasWord) {
            out.push_back(' ');
            column += 1;
        }
        AppendWord(out, text.substr(pos, length));
        column += length;
        lineHasWord = true;
        pos = end;
    }
    return String(std::move(out));
}

void FieldBody::FromString(const String& text) {
    SetText(Fold(text.View(), StartColumn(), IsStructured()));
    unfolded_ = text;
}

void FieldBody::Parse() {
    MarkParsed();
    ClearModified();
}

void FieldBody::Assemble() {
    if (!IsModified()) {
        return;
    }
    StoreAssembled(unfolded_);
}

std::unique_ptr<Node> FieldBody::Clone() const {
    return std::unique_ptr<Node>(new FieldBody(*this));
}

void FieldBody::EnsureParsed() const {
    if (parsePending_) {
        // Parsing fills the parts from the text and changes nothing a caller can see otherwise.
        const_cast<FieldBody*>(this)->Parse();
    }
}

void FieldBody::StoreAssembled(const String& unfolded) {
    bool nested = dynamic_cast<const FieldBody*>(Parent()) != nullptr;
    text_ = nested ? unfolded : Fold(unfolded.View(), StartColumn(), IsStructured());
    unfolded_ = unfolded;
    ClearModified();
}

void FieldBody::TextReplaced() {
    unfolded_ = text_;
    parsePending_ = true;
}

size_t FieldBody::StartColumn() const {
    const auto* field = dynamic_cast<const Field*>(Parent());
    return field ? field->FieldName().size() + 2 : 0;
}

}  // namespace mimepp
