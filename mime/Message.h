#pragma once
// mimepp::Message: a whole message, the root of a MIME tree. It owns everything below it.
//
// Building: create the message, fill its headers and body (or add body parts), Assemble(), then
// read AsString() or write it with AsString().WriteTo(stream) / ForEachPiece (no extra copy).
// Reading: FromString(text), Parse(), then walk Headers() and Body().

#include "mime/Entity.h"

namespace mimepp {

class Message : public Entity {
  public:
    Message() = default;
    std::unique_ptr<Node> Clone() const override;

  private:
    Message(const Message& other) = default;
};

}  // namespace mimepp
