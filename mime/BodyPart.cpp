#include "mime/BodyPart.h"

namespace mimepp {

std::unique_ptr<Node> BodyPart::Clone() const {
    return std::unique_ptr<Node>(new BodyPart(*this));
}

}  // namespace mimepp
