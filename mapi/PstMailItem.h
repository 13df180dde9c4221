#pragma once
// A MailItem over a message read straight from a PST file (pst::Message): the converter's view for
// tools, tests and benchmarks that walk a PST file without a MAPI session.

#include <memory>

#include "mapi/MailItem.h"
#include "pst/Message.h"

namespace Tarvik::MAPI {

class PstMailItem : public MailItem {
  public:
    // The message must outlive the item (embedded messages are owned by the item that opens them).
    // `unicodeStore` says whether the file is a Unicode PST; it answers PR_STORE_SUPPORT_MASK as
    // MAPI's store provider does.
    PstMailItem(const pst::Message& message, bool unicodeStore);
    PstMailItem(std::unique_ptr<pst::Message> owned, bool unicodeStore);

    std::optional<int64_t> Integer(uint32_t tag) override;
    std::optional<std::string> Bytes(uint32_t tag) override;
    std::vector<RecipientRow> Recipients() override;
    std::vector<std::unique_ptr<MailAttachment>> Attachments() override;

  private:
    std::unique_ptr<pst::Message> owned_;
    const pst::Message& message_;
    bool unicodeStore_;
    uint32_t codePage_;  // of the message's 8-bit strings
};

}  // namespace Tarvik::MAPI
