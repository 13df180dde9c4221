#include "mime/Body.h"

#include <algorithm>
#include <optional>

#include "mime/BodyPart.h"
#include "mime/CharClasses.h"
#include "mime/MediaType.h"
#include "mime/Message.h"

namespace mimepp {
namespace {

constexpr size_t kInitialPartSlots = 10;

// The Content-Type of the entity that holds `body`, without creating one.
const MediaType* ContentTypeOf(const Body& body) {
    auto* entity = dynamic_cast<Entity*>(body.Parent());
    Field* field = entity ? entity->Headers().HasField("Content-Type") : nullptr;
    return field ? dynamic_cast<const MediaType*>(&field->FieldBody()) : nullptr;
}

bool IsEncapsulatedMessage(const MediaType* type) {
    return type && type->TypeCode() == TypeCode::Message &&
           chars::EqualsIgnoreCase(type->Subtype().View(), "rfc822");
}

struct Delimiter {
    size_t breakStart;  // where the line break before the delimiter line starts (it belongs to it)
    size_t next;        // just after the delimiter line
    bool closing;
};

// The delimiter line after `from`: "--" boundary at the start of a line, then "--" (closing, rest
// of the line ignored) or only spaces and tabs up to the line end.
std::optional<Delimiter> FindDelimiter(std::string_view text, std::string_view dashBoundary, size_t from) {
    for (size_t pos = text.find(dashBoundary, from); pos != std::string_view::npos;
         pos = text.find(dashBoundary, pos + 1)) {
        if (pos > 0 && text[pos - 1] != '\n') {
            continue;
        }
        size_t after = pos + dashBoundary.size();
        bool closing = text.compare(after, 2, "--") == 0;
        size_t next;
        if (closing) {
            size_t lineFeed = text.find('\n', after);
            next = lineFeed == std::string_view::npos ? text.size() : lineFeed + 1;
        } else {
            while (after < text.size() && (text[after] == ' ' || text[after] == '\t')) {
                ++after;
            }
            if (after == text.size()) {
                next = after;
            } else if (text[after] == '\n') {
                next = after + 1;
            } else if (text.compare(after, 2, "\r\n") == 0) {
                next = after + 2;
            } else {
                continue;
            }
        }
        size_t breakStart = pos;
        if (pos > 0) {
            breakStart = (pos > 1 && text[pos - 2] == '\r') ? pos - 2 : pos - 1;
        }
        return Delimiter{breakStart, next, closing};
    }
    return std::nullopt;
}

}  // namespace

Body::Body() {
    parts_.reserve(kInitialPartSlots);
}

Body::~Body() = default;

Body::Body(const Body& other) : Node(other), preamble_(other.preamble_), epilogue_(other.epilogue_) {
    parts_.reserve(std::max(kInitialPartSlots, other.parts_.size()));
    for (const auto& part : other.parts_) {
        parts_.push_back(CloneAs(*part));
        Attach(*parts_.back(), this);
    }
    if (other.message_) {
        message_ = CloneAs(*other.message_);
        Attach(*message_, this);
    }
}

BodyPart& Body::BodyPartAt(size_t index) const {
    return *parts_.at(index);
}

BodyPart& Body::AddBodyPart(std::unique_ptr<BodyPart> part) {
    Attach(*part, this);
    parts_.push_back(std::move(part));
    SetModified();
    return *parts_.back();
}

mimepp::Message& Body::SetMessage(std::unique_ptr<mimepp::Message> message) {
    Attach(*message, this);
    message_ = std::move(message);
    SetModified();
    return *message_;
}

void Body::SetPreamble(const String& text) {
    preamble_ = text;
    SetModified();
}

void Body::SetEpilogue(const String& text) {
    epilogue_ = text;
    SetModified();
}

void Body::Parse(int level) {
    parts_.clear();
    message_.reset();
    preamble_.Clear();
    epilogue_.Clear();
    const MediaType* type = ContentTypeOf(*this);
    if (type && type->TypeCode() == TypeCode::Multipart) {
        ParseMultipart(type->GetBoundary(), level);
    } else if (IsEncapsulatedMessage(type)) {
        message_ = std::make_unique<mimepp::Message>();
        Attach(*message_, this);
        SetChildText(*message_, text_);
        if (level < kMaxParseLevel) {
            message_->Parse(level + 1);
        }
    }
    ClearModified();
}

void Body::ParseMultipart(const String& boundary, int level) {
    std::string_view text = text_.View();
    std::string dashBoundary = "--" + boundary.Str();
    // Without a boundary parameter the delimiters are "--" alone, as Assemble writes them.
    std::optional<Delimiter> delimiter = FindDelimiter(text, dashBoundary, 0);
    if (!delimiter) {
        // Kept as the preamble, so parts added later do not replace it.
        preamble_ = text_;
        return;
    }
    preamble_ = text_.Substr(0, delimiter->breakStart);
    while (!delimiter->closing) {
        size_t partStart = delimiter->next;
        delimiter = FindDelimiter(text, dashBoundary, partStart);
        size_t partEnd = delimiter ? std::max(delimiter->breakStart, partStart) : text.size();
        auto part = std::make_unique<BodyPart>();
        Attach(*part, this);
        SetChildText(*part, text_.Substr(partStart, partEnd - partStart));
        if (level < kMaxParseLevel) {
            part->Parse(level + 1);
        }
        parts_.push_back(std::move(part));
        if (!delimiter) {
            return;
        }
    }
    epilogue_ = text_.Substr(delimiter->next);
}

void Body::Assemble() {
    if (!IsModified()) {
        return;
    }
    const MediaType* type = ContentTypeOf(*this);
    if (type && type->TypeCode() == TypeCode::Multipart) {
        AssembleMultipart(type->GetBoundary());
    } else if (message_ && IsEncapsulatedMessage(type)) {
        message_->Assemble();
        text_ = message_->AsString();
    }
    ClearModified();
}

void Body::AssembleMultipart(const String& boundary) {
    String text = preamble_;
    for (const auto& part : parts_) {
        part->Assemble();
        if (!text.empty()) {
            text += kLineEnd;
        }
        text += "--";
        text += boundary;
        text += kLineEnd;
        text += part->AsString();
    }
    text += kLineEnd;
    text += "--";
    text += boundary;
    text += "--";
    text += kLineEnd;
    text += epilogue_;
    text_ = text;
}

std::unique_ptr<Node> Body::Clone() const {
    return std::unique_ptr<Node>(new Body(*this));
}

}  // namespace mimepp
