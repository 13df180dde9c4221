#include "mime/Node.h"

namespace mimepp {

void Node::SetText(const String& text) {
    AssignText(text);
    if (parent_) {
        parent_->SetModified();
    }
}

void Node::FromString(const String& text) {
    SetText(text);
}

void Node::SetModified() {
    for (Node* node = this; node; node = node->parent_) {
        node->modified_ = true;
    }
}

}  // namespace mimepp
