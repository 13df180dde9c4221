#pragma once
// What the mail converter reads of a message: properties by tag, recipient rows and attachments.
// The converter is written against this view so that it does not depend on how the message was
// opened; MapiMailItem gives it for a Tarvik::MAPI::Message and PstMailItem for a message read
// straight from a PST file.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mapi/AttachmentPart.h"

namespace Tarvik::MAPI {

class MailItem;

// One row of a recipient table; absent or unreadable columns are empty.
struct RecipientRow {
    std::optional<std::string> displayName;  // PR_DISPLAY_NAME
    std::optional<std::string> entryId;      // PR_ENTRYID
    std::optional<std::string> addressType;  // PR_ADDRTYPE
    std::optional<std::string> address;      // PR_EMAIL_ADDRESS
    std::optional<int32_t> recipientType;    // PR_RECIPIENT_TYPE
    std::optional<std::string> smtpAddress;  // PR_SMTP_ADDRESS, kept beside Exchange addresses
};

class MailAttachment {
  public:
    virtual ~MailAttachment() = default;
    // Throws HRException (or pst::Error) when the attachment's properties cannot be read.
    virtual AttachmentProperties Properties() = 0;
    // PR_ATTACH_DATA_BIN, however large; nothing when the attachment holds no data.
    virtual std::optional<std::string> Data() = 0;
    // The embedded message (PR_ATTACH_DATA_OBJ), or nullptr when there is none or it cannot be
    // opened.
    virtual std::unique_ptr<MailItem> EmbeddedMessage() = 0;
};

class MailItem {
  public:
    virtual ~MailItem() = default;
    // A PT_LONG, PT_SHORT, PT_I8, PT_SYSTIME or PT_BOOLEAN property; nothing when absent, an
    // error value or of another type.
    virtual std::optional<int64_t> Integer(uint32_t tag) = 0;
    // A string property as UTF-8, or a binary one as its bytes, however large; nothing when
    // absent or an error value. Throws when a stored value cannot be read.
    virtual std::optional<std::string> Bytes(uint32_t tag) = 0;
    virtual std::vector<RecipientRow> Recipients() = 0;
    // The attachments in table order; an entry is nullptr when that attachment cannot be opened.
    // Throws HRException when the attachment table cannot be read.
    virtual std::vector<std::unique_ptr<MailAttachment>> Attachments() = 0;
};

}  // namespace Tarvik::MAPI
