#pragma once
// mimepp::FieldBody: the value of a header field. This base class is the unstructured kind (any
// free-form header); the subclasses hold structured values (addresses, media types, ...).
//
// Folding: values written into a field are folded at 76 columns. The value is split into words
// at runs of white space (space, tab, CR, LF; line breaks already present included) and the words
// are laid out again: a single space between words on a line, and a line break followed by two
// spaces before a word that would pass column 76. The first line starts after "Name: ". A word
// longer than a line is never split. In structured values a quoted string is one word with its
// white space kept, so folding never changes a quoted file name or display name.
//
// Lazy parsing: a structured value set as text (SetText, FromString) is parsed the first time its
// parts are read or changed, so callers need not call Parse() themselves.

#include "mime/Node.h"

namespace mimepp {

class FieldBody : public Node {
  public:
    FieldBody() = default;

    // Stores `text` as the unfolded value and, folded, as the body's text; the body is clean, its
    // field and the rest of the chain modified.
    void FromString(const String& text) override;

    void Parse() override;
    void Assemble() override;
    std::unique_ptr<Node> Clone() const override;

  protected:
    FieldBody(const FieldBody& other) = default;

    // Structured values keep quoted strings whole when folded.
    virtual bool IsStructured() const { return false; }

    // Parses the text set by SetText/FromString/AssignText if nobody has parsed it since.
    void EnsureParsed() const;
    // Call at the start of Parse(): the text is about to be parsed.
    void MarkParsed() { parsePending_ = false; }
    // Stores an assembled value, folded unless it is nested in another value (which is folded as a
    // whole); the body is then clean.
    void StoreAssembled(const String& unfolded);

    void TextReplaced() override;

  private:
    size_t StartColumn() const;

    String unfolded_;
    bool parsePending_ = false;
};

// Folds `text` as described above, starting at `column`.
String Fold(std::string_view text, size_t column, bool keepQuotedStrings);

}  // namespace mimepp
