#pragma once
// mimepp::MailboxList: the value of a From field, mailboxes in order.
// Assembled form: the mailboxes' texts joined by ", ", empty ones left out.

#include <memory>
#include <vector>

#include "mime/Mailbox.h"

namespace mimepp {

class MailboxList : public FieldBody {
  public:
    MailboxList() = default;
    ~MailboxList() override;

    size_t NumMailboxes() const;
    Mailbox& MailboxAt(size_t index) const;
    // Appends a mailbox (the list takes it) and marks the list modified.
    Mailbox& AddMailbox(std::unique_ptr<Mailbox> mailbox);

    void Parse() override;
    void Assemble() override;
    std::unique_ptr<Node> Clone() const override;

  protected:
    bool IsStructured() const override { return true; }

  private:
    MailboxList(const MailboxList& other);

    std::vector<std::unique_ptr<Mailbox>> mailboxes_;
};

}  // namespace mimepp
