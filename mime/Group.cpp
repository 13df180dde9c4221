#include "mime/Group.h"

#include "mime/AddressListParser.h"

namespace mimepp {

Group::Group() : mailboxes_(std::make_unique<mimepp::MailboxList>()) {
    Attach(*mailboxes_, this);
}

Group::~Group() = default;

Group::Group(const Group& other)
    : Address(other), name_(other.name_), mailboxes_(CloneAs(*other.mailboxes_)) {
    Attach(*mailboxes_, this);
}

const String& Group::GroupName() const {
    EnsureParsed();
    return name_;
}

void Group::SetGroupName(const String& name) {
    EnsureParsed();
    name_ = name;
    SetModified();
}

mimepp::MailboxList& Group::MailboxList() {
    EnsureParsed();
    return *mailboxes_;
}

void Group::Parse() {
    MarkParsed();
    AddressListParser::GroupParts parts = AddressListParser(text_.View()).Group();
    name_ = String(parts.name);
    ParseChild(*mailboxes_, text_.Substr(parts.membersBegin, parts.membersEnd - parts.membersBegin));
    ClearModified();
}

void Group::Assemble() {
    EnsureParsed();
    if (!IsModified()) {
        return;
    }
    String text;
    if (!name_.empty()) {
        mailboxes_->Assemble();
        text = Phrase(name_);
        text += ": ";
        text += mailboxes_->AsString();
        text += ";";
    }
    StoreAssembled(text);
}

std::unique_ptr<Node> Group::Clone() const {
    return std::unique_ptr<Node>(new Group(*this));
}

}  // namespace mimepp
