#pragma once
// The converter's view of a message opened through the MAPI layer: a Tarvik::MAPI::Message of the
// item walk, or a message embedded in an attachment.

#include <memory>

#include "mapi/MailItem.h"
#include "mapi/platform/MapiInterfaces.h"

namespace Tarvik::MAPI {

class Message;

class MapiMailItem : public MailItem {
  public:
    // A message of the item walk, which must stay open while the item is used.
    explicit MapiMailItem(const Message& message);
    explicit MapiMailItem(std::unique_ptr<IMessage> owned);

    std::optional<int64_t> Integer(uint32_t tag) override;
    // Values too large for GetProps are read through their stream; failures throw HRException.
    std::optional<std::string> Bytes(uint32_t tag) override;
    std::vector<RecipientRow> Recipients() override;
    std::vector<std::unique_ptr<MailAttachment>> Attachments() override;

  private:
    SPropValue Value(uint32_t tag);

    std::unique_ptr<IMessage> owned_;
    IMessage& message_;
    const Message* read_ = nullptr;  // its properties as the item walk read them
};

}  // namespace Tarvik::MAPI
