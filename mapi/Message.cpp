#include "mapi/Message.h"

#include <strings.h>

#include "mapi/SourceErrors.h"
#include "mapi/platform/PropTags.h"
#include "runtime/Log.h"

namespace Tarvik::MAPI {

namespace {

constexpr int32_t MSGFLAG_READ = 0x1;
constexpr int32_t MSGFLAG_UNSENT = 0x8;
constexpr int32_t MSGFLAG_HASATTACH = 0x10;
constexpr int32_t MSGFLAG_FROMME = 0x20;
constexpr int32_t EXCHIVERB_REPLYTOSENDER = 102;
constexpr int32_t EXCHIVERB_REPLYTOALL = 103;
constexpr int32_t EXCHIVERB_FORWARD = 104;
constexpr int32_t FLAG_STATUS_FLAGGED = 2;

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    return strncasecmp(text.c_str(), prefix, strlen(prefix)) == 0;
}

}  // namespace

const SPropTagArray& MessagePropertyTags() {
    static const SPropTagArray tags = {PR_MESSAGE_CLASS_W,
                                       PR_MESSAGE_FLAGS,
                                       PR_CLIENT_SUBMIT_TIME,
                                       PR_SENDER_ADDRTYPE_W,
                                       PR_SENDER_EMAIL_ADDRESS_W,
                                       PR_SENDER_NAME_W,
                                       PR_SENDER_ENTRYID,
                                       PR_SUBJECT_W,
                                       PR_BODY_W,
                                       PR_HTML,
                                       PR_INTERNET_CPID,
                                       PR_MESSAGE_CODEPAGE,
                                       PR_LAST_VERB_EXECUTED,
                                       PR_FLAG_STATUS,
                                       PR_ENTRYID,
                                       PR_SENT_REPRESENTING_ADDRTYPE_W,
                                       PR_SENT_REPRESENTING_ENTRYID,
                                       PR_SENT_REPRESENTING_EMAIL_ADDRESS_W,
                                       PR_SENT_REPRESENTING_NAME_W,
                                       PR_REPLY_RECIPIENT_NAMES_W,
                                       PR_REPLY_RECIPIENT_ENTRIES,
                                       PR_TRANSPORT_MESSAGE_HEADERS_A,
                                       PR_IMPORTANCE,
                                       PR_INTERNET_MESSAGE_ID_A,
                                       PR_MESSAGE_DELIVERY_TIME,
                                       PR_URL_NAME_W,
                                       PR_MESSAGE_SIZE,
                                       PR_STORE_SUPPORT_MASK,
                                       PR_RTF_IN_SYNC,
                                       PR_SEARCH_KEY};
    return tags;
}

const SPropTagArray& RecipientColumnTags() {
    static const SPropTagArray tags = {PR_DISPLAY_NAME_W, PR_ENTRYID, PR_ADDRTYPE_W, PR_EMAIL_ADDRESS_W,
                                       PR_RECIPIENT_TYPE};
    return tags;
}

const std::array<const char*, 14>& Message::RtfTokens() {
    static const std::array<const char*, 14> tokens = {
        "{",     "}",   "\\*\\htmltag", "\\*\\mhtmltag", "\\par", "\\tab", "\\li",
        "\\fi-", "\\'", "\\pntext",     "\\htmlrtf",     "\\{",   "\\}",   "\\htmlrtf0"};
    return tokens;
}

void Message::Clear() {
    message_.reset();
    properties_.clear();
    recipients_.clear();
    initialised_ = false;
}

void Message::Init(std::shared_ptr<IMessage> message) {
    Clear();
    message_ = std::move(message);
    HRESULT hr = message_->GetProps(MessagePropertyTags(), MAPI_UNICODE, properties_);
    if (FAILED(hr)) {
        Clear();
        TVK_THROW_HR(hr);
    }
    std::unique_ptr<IMAPITable> table;
    uint32_t count = 0;
    hr = message_->GetRecipientTable(MAPI_UNICODE, table);
    if (SUCCEEDED(hr)) {
        hr = table->GetRowCount(0, count);
    }
    if (SUCCEEDED(hr) && count != 0) {
        hr = table->SetColumns(RecipientColumnTags(), 0);
        if (SUCCEEDED(hr)) {
            hr = table->QueryRows(static_cast<int32_t>(count), 0, recipients_);
        }
    }
    if (FAILED(hr)) {
        Clear();
        TVK_THROW_HR(hr);
    }
    initialised_ = true;
}

const SPropValue* Message::Property(size_t index) const {
    if (index >= properties_.size() || properties_[index].IsError()) {
        return nullptr;
    }
    return &properties_[index];
}

std::string Message::MessageClass() const {
    const SPropValue* value = Property(MessageProp::MessageClass);
    return value != nullptr ? value->AsText() : std::string();
}

EntryId Message::GetEntryId() const {
    const SPropValue* value = Property(MessageProp::EntryId);
    return value != nullptr ? value->AsBinary() : EntryId();
}

bool Message::IsMail() const {
    const SPropValue* c = Property(MessageProp::MessageClass);
    return c != nullptr &&
           (StartsWithNoCase(c->AsText(), "IPM.NOTE") || StartsWithNoCase(c->AsText(), "IPM.POST") ||
            strcasecmp(c->AsText().c_str(), "IPM") == 0);
}

bool Message::IsContact() const {
    const SPropValue* c = Property(MessageProp::MessageClass);
    return c != nullptr &&
           (StartsWithNoCase(c->AsText(), "IPM.CONTACT") || StartsWithNoCase(c->AsText(), "IPM.DISTLIST"));
}

bool Message::IsAppointment() const {
    const SPropValue* c = Property(MessageProp::MessageClass);
    return c != nullptr && StartsWithNoCase(c->AsText(), "IPM.APPOINTMENT");
}

bool Message::IsTask() const {
    const SPropValue* c = Property(MessageProp::MessageClass);
    return c != nullptr && strcasecmp(c->AsText().c_str(), "IPM.TASK") == 0;
}

bool Message::IsMeetingMessage() const {
    const SPropValue* c = Property(MessageProp::MessageClass);
    return c != nullptr && c->AsText().find("IPM.Schedule") != std::string::npos;
}

namespace {

bool FlagSet(const SPropValue* flags, int32_t bit) {
    return flags != nullptr && (flags->AsLong() & bit) != 0;
}

}  // namespace

bool Message::IsUnread() const {
    const SPropValue* flags = Property(MessageProp::MessageFlags);
    return flags != nullptr && (flags->AsLong() & MSGFLAG_READ) == 0;
}

bool Message::IsUnsent() const {
    return FlagSet(Property(MessageProp::MessageFlags), MSGFLAG_UNSENT);
}

bool Message::HasAttachments() const {
    return FlagSet(Property(MessageProp::MessageFlags), MSGFLAG_HASATTACH);
}

bool Message::IsFromMe() const {
    return FlagSet(Property(MessageProp::MessageFlags), MSGFLAG_FROMME);
}

bool Message::IsReplied() const {
    const SPropValue* verb = Property(MessageProp::LastVerbExecuted);
    return verb != nullptr &&
           (verb->AsLong() == EXCHIVERB_REPLYTOSENDER || verb->AsLong() == EXCHIVERB_REPLYTOALL);
}

bool Message::IsForwarded() const {
    const SPropValue* verb = Property(MessageProp::LastVerbExecuted);
    return verb != nullptr && verb->AsLong() == EXCHIVERB_FORWARD;
}

bool Message::IsFlagged() const {
    const SPropValue* status = Property(MessageProp::FlagStatus);
    return status != nullptr && status->AsLong() == FLAG_STATUS_FLAGGED;
}

bool Message::HasTextBody() const {
    if (Property(MessageProp::Body) != nullptr) {
        return true;
    }
    if (properties_.size() <= MessageProp::Body) {
        return false;
    }
    const SPropValue& body = properties_[MessageProp::Body];
    return body.IsError() && body.ErrorCode() == E_OUTOFMEMORY;
}

std::vector<std::string> Message::Keywords() const {
    std::vector<std::string> keywords;
    if (!message_) {
        return keywords;
    }
    SPropTagArray tags;
    HRESULT hr = message_->GetIDsFromNames({MAPINAMEID::Name(PS_PUBLIC_STRINGS, "Keywords")}, 0, tags);
    if (FAILED(hr)) {
        LogLine("%s. GetIDsFromNames() failed, hr: %x", "Tarvik::MAPI::Message::Keywords",
                static_cast<unsigned>(hr));
        return keywords;
    }
    if (tags.empty() || PROP_TYPE(tags[0]) == PT_ERROR) {
        return keywords;
    }
    uint32_t tag = CHANGE_PROP_TYPE(tags[0], PT_MV_UNICODE);
    SPropValue value;
    if (SUCCEEDED(HrGetOneProp(*message_, tag, value)) && value.ulPropTag == tag) {
        keywords = value.AsTextList();
    }
    return keywords;
}

}  // namespace Tarvik::MAPI
