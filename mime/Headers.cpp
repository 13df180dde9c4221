#include "mime/Headers.h"

#include <stdexcept>
#include <string>

#include "mime/AddressList.h"
#include "mime/CharClasses.h"
#include "mime/DispositionType.h"
#include "mime/Mailbox.h"
#include "mime/MailboxList.h"
#include "mime/MediaType.h"
#include "mime/MsgId.h"
#include "mime/Text.h"
#include "mime/TransferEncodingType.h"

namespace mimepp {
namespace {

constexpr size_t kInitialFieldSlots = 20;

bool IsBlank(std::string_view text) {
    return chars::TrimWhiteSpace(text).empty();
}

}  // namespace

Headers::Headers() {
    fields_.reserve(kInitialFieldSlots);
}

Headers::~Headers() = default;

Headers::Headers(const Headers& other) : Node(other) {
    fields_.reserve(std::max(kInitialFieldSlots, other.fields_.size()));
    for (const auto& field : other.fields_) {
        fields_.push_back(CloneAs(*field));
        Attach(*fields_.back(), this);
    }
}

Field* Headers::HasField(std::string_view name) const {
    for (const auto& field : fields_) {
        if (chars::EqualsIgnoreCase(field->FieldName().View(), name)) {
            return field.get();
        }
    }
    return nullptr;
}

FieldBody& Headers::FieldBodyByName(std::string_view name) {
    Field* field = HasField(name);
    if (!field) {
        field = &AddField(std::make_unique<Field>(String(name)));
    }
    return field->FieldBody();
}

Field& Headers::AddField(std::unique_ptr<Field> field) {
    Attach(*field, this);
    fields_.push_back(std::move(field));
    fields_.back()->SetModified();
    return *fields_.back();
}

template <typename T>
T& Headers::TypedFieldBody(std::string_view name) {
    auto* body = dynamic_cast<T*>(&FieldBodyByName(name));
    if (!body) {
        throw std::logic_error("mimepp: the body of the field " + std::string(name) +
                               " has an unexpected class");
    }
    return *body;
}

MediaType& Headers::ContentType() {
    return TypedFieldBody<MediaType>("Content-Type");
}
TransferEncodingType& Headers::ContentTransferEncoding() {
    return TypedFieldBody<TransferEncodingType>("Content-Transfer-Encoding");
}
DispositionType& Headers::ContentDisposition() {
    return TypedFieldBody<DispositionType>("Content-Disposition");
}
MsgId& Headers::ContentId() {
    return TypedFieldBody<MsgId>("Content-ID");
}
Text& Headers::Subject() {
    return TypedFieldBody<Text>("Subject");
}
Mailbox& Headers::Sender() {
    return TypedFieldBody<Mailbox>("Sender");
}
AddressList& Headers::ReplyTo() {
    return TypedFieldBody<AddressList>("Reply-To");
}
MsgId& Headers::MessageId() {
    return TypedFieldBody<MsgId>("Message-ID");
}
MailboxList& Headers::From() {
    return TypedFieldBody<MailboxList>("From");
}

void Headers::Parse() {
    fields_.clear();
    std::string_view text = text_.View();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (true) {
            size_t lineFeed = text.find('\n', end);
            if (lineFeed == std::string_view::npos) {
                end = text.size();
                break;
            }
            end = lineFeed + 1;
            if (end >= text.size() || (text[end] != ' ' && text[end] != '\t')) {
                break;
            }
        }
        if (!IsBlank(text.substr(start, end - start))) {
            auto field = std::make_unique<Field>();
            Attach(*field, this);
            ParseChild(*field, text_.Substr(start, end - start));
            fields_.push_back(std::move(field));
        }
        start = end;
    }
    ClearModified();
}

void Headers::Assemble() {
    if (!IsModified()) {
        return;
    }
    String text;
    for (const auto& field : fields_) {
        field->Assemble();
        text += field->AsString();
    }
    text_ = text;
    ClearModified();
}

std::unique_ptr<Node> Headers::Clone() const {
    return std::unique_ptr<Node>(new Headers(*this));
}

}  // namespace mimepp
