#pragma once
// mimepp::BodyPart: one part of a multipart body. A new part has empty headers and an empty body.

#include "mime/Entity.h"

namespace mimepp {

class BodyPart : public Entity {
  public:
    BodyPart() = default;
    std::unique_ptr<Node> Clone() const override;

  private:
    BodyPart(const BodyPart& other) = default;
};

}  // namespace mimepp
