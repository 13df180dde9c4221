#pragma once
// mimepp::Body: the body of a message or body part. Its form follows the entity's Content-Type
// (looked up without creating it):
//   multipart/*      the preamble, then for each part a delimiter line ("--" boundary) and the
//                    part, then the closing delimiter ("--" boundary "--") and the epilogue:
//                    [preamble CRLF] "--" b CRLF part1 CRLF "--" b CRLF part2 CRLF "--" b "--" CRLF
//                    [epilogue] The boundary is the Content-Type's "boundary" parameter.
//   message/rfc822   with an encapsulated message: that message's text.
//   anything else    the text exactly as set (SetText); callers store it transfer-encoded.
//
// Parsing splits a multipart text at its delimiter lines (a line that is "--" boundary, optionally
// followed by "--" or by spaces and tabs); the text before the first delimiter is the preamble,
// the text after the closing one the epilogue. A text without any delimiter is all preamble, so
// parts added later do not replace it. Without a boundary parameter the delimiter lines are "--"
// alone, as they are written. A message/rfc822 text becomes an encapsulated message.

#include <memory>
#include <vector>

#include "mime/Node.h"

namespace mimepp {

class BodyPart;
class Message;

class Body : public Node {
  public:
    Body();
    ~Body() override;

    size_t NumBodyParts() const { return parts_.size(); }
    BodyPart& BodyPartAt(size_t index) const;
    // Appends a part (the body takes it) and marks the body and its ancestors modified.
    BodyPart& AddBodyPart(std::unique_ptr<BodyPart> part);

    // The encapsulated message of a message/rfc822 body, or nullptr.
    mimepp::Message* Message() const { return message_.get(); }
    mimepp::Message& SetMessage(std::unique_ptr<mimepp::Message> message);

    const String& Preamble() const { return preamble_; }
    void SetPreamble(const String& text);
    const String& Epilogue() const { return epilogue_; }
    void SetEpilogue(const String& text);

    void Parse() override { Parse(0); }
    // Parses the body of an entity nested `level` deep.
    void Parse(int level);
    void Assemble() override;
    std::unique_ptr<Node> Clone() const override;

  private:
    Body(const Body& other);

    void ParseMultipart(const String& boundary, int level);
    void AssembleMultipart(const String& boundary);

    String preamble_;
    String epilogue_;
    std::vector<std::unique_ptr<BodyPart>> parts_;
    std::unique_ptr<mimepp::Message> message_;
};

}  // namespace mimepp
