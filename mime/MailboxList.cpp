#include "mime/MailboxList.h"

#include "mime/AddressListParser.h"

namespace mimepp {

MailboxList::~MailboxList() = default;

MailboxList::MailboxList(const MailboxList& other) : FieldBody(other) {
    for (const auto& mailbox : other.mailboxes_) {
        mailboxes_.push_back(CloneAs(*mailbox));
        Attach(*mailboxes_.back(), this);
    }
}

size_t MailboxList::NumMailboxes() const {
    EnsureParsed();
    return mailboxes_.size();
}

Mailbox& MailboxList::MailboxAt(size_t index) const {
    EnsureParsed();
    return *mailboxes_.at(index);
}

Mailbox& MailboxList::AddMailbox(std::unique_ptr<Mailbox> mailbox) {
    EnsureParsed();
    Attach(*mailbox, this);
    mailboxes_.push_back(std::move(mailbox));
    SetModified();
    return *mailboxes_.back();
}

void MailboxList::Parse() {
    MarkParsed();
    mailboxes_.clear();
    for (const auto& extent : AddressListParser(text_.View()).Addresses(false)) {
        auto mailbox = std::make_unique<Mailbox>();
        Attach(*mailbox, this);
        ParseChild(*mailbox, text_.Substr(extent.begin, extent.end - extent.begin));
        mailboxes_.push_back(std::move(mailbox));
    }
    ClearModified();
}

void MailboxList::Assemble() {
    EnsureParsed();
    if (!IsModified()) {
        return;
    }
    StoreAssembled(JoinAddresses(mailboxes_));
}

std::unique_ptr<Node> MailboxList::Clone() const {
    return std::unique_ptr<Node>(new MailboxList(*this));
}

}  // namespace mimepp
