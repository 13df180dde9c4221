#pragma once
// mimepp::Group: a named group of mailboxes in an address list.
// Assembled form: empty without a group name; otherwise the name as a phrase, ": ", the mailbox
// list and ";".

#include <memory>

#include "mime/Address.h"
#include "mime/MailboxList.h"

namespace mimepp {

class Group : public Address {
  public:
    Group();
    ~Group() override;

    const String& GroupName() const;
    void SetGroupName(const String& name);
    mimepp::MailboxList& MailboxList();

    void Parse() override;
    void Assemble() override;
    std::unique_ptr<Node> Clone() const override;

  private:
    Group(const Group& other);

    String name_;
    std::unique_ptr<mimepp::MailboxList> mailboxes_;
};

}  // namespace mimepp
