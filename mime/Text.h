#pragma once
// mimepp::Text: unstructured header text (a Subject, a display name) as a sequence of words, each
// an EncodedWord.
//
// Assembled form: the words joined by single spaces. Parsing splits the text at white space.

#include <memory>
#include <string>
#include <vector>

#include "mime/EncodedWord.h"
#include "mime/FieldBody.h"

namespace mimepp {

class Text : public FieldBody {
  public:
    Text() = default;
    ~Text() override;

    size_t NumEncodedWords() const;
    EncodedWord& EncodedWordAt(size_t index) const;
    // Replaces the words (the text takes them) and marks the text modified.
    void SetEncodedWords(std::vector<std::unique_ptr<EncodedWord>> words);

    // The decoded bytes: white space between two encoded words is dropped, other word gaps are one
    // space. Charsets are not converted.
    std::string DecodedText() const;

    void Parse() override;
    void Assemble() override;
    std::unique_ptr<Node> Clone() const override;

  private:
    Text(const Text& other);

    std::vector<std::unique_ptr<EncodedWord>> words_;
};

}  // namespace mimepp
