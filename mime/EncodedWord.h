#pragma once
// mimepp::EncodedWord: one word of header text, either an RFC 2047 encoded word or a plain word.
//
// Assembled form: with letter Q/q or B/b, "=?" charset "?" letter "?" encoded text "?=" (the
// letter as stored; Q escapes everything but ! * + - / 0-9 A-Z a-z and writes a space as "_";
// B is base64 on one line); with any other letter (0 for a plain word) the decoded text as it is.

#include <string>
#include <string_view>

#include "mime/Node.h"

namespace mimepp {

class EncodedWord : public Node {
  public:
    EncodedWord() = default;
    EncodedWord(const String& charset, char encodingLetter, const String& decodedText);

    const String& Charset() const { return charset_; }
    char EncodingLetter() const { return letter_; }
    // The bytes of the word in its charset.
    const String& DecodedText() const { return decoded_; }

    // A word of the form =?charset?Q|B?text?= is decoded; anything else is a plain word.
    void Parse() override;
    void Assemble() override;
    std::unique_ptr<Node> Clone() const override;

  private:
    EncodedWord(const EncodedWord& other) = default;

    String charset_;
    char letter_ = 0;
    String decoded_;
};

// The Q encoding of encoded words.
std::string QEncode(std::string_view bytes);
// The number of bytes QEncode writes as =XX.
size_t QEscapedCount(std::string_view bytes);

}  // namespace mimepp
