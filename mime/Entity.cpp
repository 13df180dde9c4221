#include "mime/Entity.h"

#include "mime/CharClasses.h"

namespace mimepp {
namespace {

struct Split {
    size_t headersEnd;  // the header block is [0, headersEnd)
    size_t bodyStart;   // the body is [bodyStart, end)
};

// The header block ends before the first empty line; a text without one is all header block.
Split SplitAtEmptyLine(std::string_view text) {
    size_t lineStart = 0;
    while (lineStart < text.size()) {
        if (text[lineStart] == '\n') {
            return {lineStart, lineStart + 1};
        }
        if (text.compare(lineStart, 2, "\r\n") == 0) {
            return {lineStart, lineStart + 2};
        }
        size_t lineFeed = text.find('\n', lineStart);
        if (lineFeed == std::string_view::npos) {
            break;
        }
        lineStart = lineFeed + 1;
    }
    return {text.size(), text.size()};
}

}  // namespace

Entity::Entity() : headers_(std::make_unique<mimepp::Headers>()), body_(std::make_unique<mimepp::Body>()) {
    Attach(*headers_, this);
    Attach(*body_, this);
}

Entity::~Entity() = default;

Entity::Entity(const Entity& other)
    : Node(other), headers_(CloneAs(*other.headers_)), body_(CloneAs(*other.body_)) {
    Attach(*headers_, this);
    Attach(*body_, this);
}

void Entity::Parse(int level) {
    Split split = SplitAtEmptyLine(text_.View());
    ParseChild(*headers_, text_.Substr(0, split.headersEnd));
    SetChildText(*body_, text_.Substr(split.bodyStart));
    body_->Parse(level);
    ClearModified();
}

void Entity::Assemble() {
    if (!IsModified()) {
        return;
    }
    body_->Assemble();
    headers_->Assemble();
    String text = headers_->AsString();
    text += kLineEnd;
    text += body_->AsString();
    text_ = text;
    ClearModified();
}

}  // namespace mimepp
