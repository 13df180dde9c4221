#include "mime/Message.h"

namespace mimepp {

std::unique_ptr<Node> Message::Clone() const {
    return std::unique_ptr<Node>(new Message(*this));
}

}  // namespace mimepp
