#include "mime/Field.h"

#include <array>
#include <utility>

#include "mime/AddressList.h"
#include "mime/CharClasses.h"
#include "mime/DateTime.h"
#include "mime/DispositionType.h"
#include "mime/Mailbox.h"
#include "mime/MailboxList.h"
#include "mime/MediaType.h"
#include "mime/MsgId.h"
#include "mime/Stamp.h"
#include "mime/Text.h"
#include "mime/TransferEncodingType.h"

namespace mimepp {
namespace {

template <typename T>
std::unique_ptr<FieldBody> Make() {
    return std::make_unique<T>();
}

using Factory = std::unique_ptr<FieldBody> (*)();

constexpr std::array<std::pair<std::string_view, Factory>, 23> kFieldBodyClasses = {{
    {"to", Make<AddressList>},
    {"cc", Make<AddressList>},
    {"bcc", Make<AddressList>},
    {"reply-to", Make<AddressList>},
    {"resent-to", Make<AddressList>},
    {"resent-cc", Make<AddressList>},
    {"resent-bcc", Make<AddressList>},
    {"resent-reply-to", Make<AddressList>},
    {"from", Make<MailboxList>},
    {"resent-from", Make<MailboxList>},
    {"sender", Make<Mailbox>},
    {"resent-sender", Make<Mailbox>},
    {"return-path", Make<Mailbox>},
    {"date", Make<DateTime>},
    {"resent-date", Make<DateTime>},
    {"message-id", Make<MsgId>},
    {"resent-message-id", Make<MsgId>},
    {"content-id", Make<MsgId>},
    {"content-type", Make<MediaType>},
    {"content-disposition", Make<DispositionType>},
    {"content-transfer-encoding", Make<TransferEncodingType>},
    {"received", Make<Stamp>},
    {"subject", Make<Text>},
}};

bool IsValidFieldName(std::string_view name) {
    for (unsigned char c : name) {
        if (c < 0x21 || c > 0x7E) {
            return false;
        }
    }
    return true;
}

// Line breaks that are not folds become spaces.
String WithoutBareLineBreaks(const String& value) {
    std::string_view text = value.View();
    if (text.find_first_of("\r\n") == std::string_view::npos) {
        return value;
    }
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        bool fold = out[i] == '\r' && i + 2 < out.size() && out[i + 1] == '\n' &&
                    (out[i + 2] == ' ' || out[i + 2] == '\t');
        if (fold) {
            i += 1;
        } else if (out[i] == '\r' || out[i] == '\n') {
            out[i] = ' ';
        }
    }
    return String(std::move(out));
}

}  // namespace

std::unique_ptr<FieldBody> CreateFieldBody(std::string_view fieldName) {
    for (const auto& [name, make] : kFieldBodyClasses) {
        if (chars::EqualsIgnoreCase(fieldName, name)) {
            return make();
        }
    }
    return std::make_unique<FieldBody>();
}

Field::Field(const String& name) : name_(name) {}

Field::~Field() = default;

Field::Field(const Field& other) : Node(other), name_(other.name_) {
    if (other.body_) {
        body_ = CloneAs(*other.body_);
        Attach(*body_, this);
    }
}

mimepp::FieldBody& Field::FieldBody() {
    if (!body_) {
        body_ = CreateFieldBody(name_.View());
        Attach(*body_, this);
    }
    return *body_;
}

void Field::Parse() {
    std::string_view text = text_.View();
    size_t colon = text.find(':');
    String bodyText;
    if (colon == std::string_view::npos) {
        name_.Clear();
    } else {
        std::string_view name = chars::TrimWhiteSpace(text.substr(0, colon));
        // Leading white space means a continuation line, not a name.
        bool valid = text.substr(0, colon).starts_with(name) && IsValidFieldName(name);
        name_ = valid ? text_.Substr(0, name.size()) : String();
        std::string_view value = chars::TrimWhiteSpace(text.substr(colon + 1));
        bodyText = text_.Substr(static_cast<size_t>(value.data() - text.data()), value.size());
    }
    body_ = CreateFieldBody(name_.View());
    Attach(*body_, this);
    ParseChild(*body_, bodyText);
    ClearModified();
}

void Field::Assemble() {
    if (!IsModified()) {
        return;
    }
    mimepp::FieldBody& body = FieldBody();
    body.Assemble();
    String text = name_;
    text += ": ";
    text += WithoutBareLineBreaks(body.AsString());
    text += kLineEnd;
    text_ = text;
    ClearModified();
}

std::unique_ptr<Node> Field::Clone() const {
    return std::unique_ptr<Node>(new Field(*this));
}

}  // namespace mimepp
