#pragma once
// One open source item with the fixed set of 30 properties every converter reads, its recipient
// rows and its kind and flag tests. Property values whose type is PT_ERROR count as absent, with
// one exception: a body too large for GetProps (PT_ERROR E_OUTOFMEMORY) still counts as a body.

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "mapi/platform/MapiInterfaces.h"

namespace Tarvik::MAPI {

// Indexes of the message property set, in the order of MessagePropertyTags().
namespace MessageProp {
enum : size_t {
    MessageClass = 0,
    MessageFlags,
    ClientSubmitTime,
    SenderAddrType,
    SenderEmailAddress,
    SenderName,
    SenderEntryId,
    Subject,
    Body,
    Html,
    InternetCpid,
    MessageCodepage,
    LastVerbExecuted,
    FlagStatus,
    EntryId,
    SentRepresentingAddrType,
    SentRepresentingEntryId,
    SentRepresentingEmailAddress,
    SentRepresentingName,
    ReplyRecipientNames,
    ReplyRecipientEntries,
    TransportMessageHeaders,  // 8-bit in MAPI; UTF-8 here
    Importance,
    InternetMessageId,  // 8-bit in MAPI; UTF-8 here
    MessageDeliveryTime,
    UrlName,
    MessageSize,
    StoreSupportMask,
    RtfInSync,
    SearchKey,
    Count
};
}  // namespace MessageProp

// Columns of each recipient row, in the order of RecipientColumnTags().
namespace RecipientColumn {
enum : size_t { DisplayName = 0, EntryId, AddrType, EmailAddress, RecipientType, Count };
}  // namespace RecipientColumn

const SPropTagArray& MessagePropertyTags();
const SPropTagArray& RecipientColumnTags();

class Message {
  public:
    explicit Message(IMAPISession* session = nullptr) : session_(session) {}

    // Takes the message, reads its properties and recipients. Throws HRException when they cannot
    // be read; the Message is then cleared.
    void Init(std::shared_ptr<IMessage> message);
    // Releases the message and forgets its properties and recipients.
    void Clear();

    bool IsInitialised() const { return initialised_; }
    IMessage* Get() const { return message_.get(); }
    const std::shared_ptr<IMessage>& Shared() const { return message_; }
    IMAPISession* Session() const { return session_; }

    // The value at a MessageProp index, or nullptr when it is absent (also when it is an error).
    const SPropValue* Property(size_t index) const;
    // The value as GetProps returned it, error values included.
    const SPropValue& RawProperty(size_t index) const { return properties_.at(index); }
    // The message class, "" when it has none.
    std::string MessageClass() const;
    // The entry id, or "" when it has none.
    EntryId GetEntryId() const;

    // Rows with RecipientColumnTags(); empty when the message has no recipients.
    const SRowSet& Recipients() const { return recipients_; }

    bool IsMail() const;
    bool IsContact() const;
    bool IsAppointment() const;
    bool IsTask() const;
    bool IsMeetingMessage() const;

    bool IsUnread() const;
    bool IsUnsent() const;
    bool HasAttachments() const;
    bool IsFromMe() const;
    bool IsReplied() const;
    bool IsForwarded() const;
    bool IsFlagged() const;
    bool HasTextBody() const;

    // The categories (PS_PUBLIC_STRINGS "Keywords"); empty when there are none or the lookup
    // fails (which is logged).
    std::vector<std::string> Keywords() const;

    // The RTF control words body retrieval looks for, in this order.
    static const std::array<const char*, 14>& RtfTokens();

  private:
    IMAPISession* session_ = nullptr;  // borrowed
    std::shared_ptr<IMessage> message_;
    std::vector<SPropValue> properties_;
    SRowSet recipients_;
    bool initialised_ = false;
};

}  // namespace Tarvik::MAPI
