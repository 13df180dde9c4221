#include "mime/AddressList.h"

#include "mime/AddressListParser.h"
#include "mime/Group.h"
#include "mime/Mailbox.h"

namespace mimepp {

AddressList::~AddressList() = default;

AddressList::AddressList(const AddressList& other) : FieldBody(other) {
    for (const auto& address : other.addresses_) {
        addresses_.push_back(CloneAs(*address));
        Attach(*addresses_.back(), this);
    }
}

size_t AddressList::NumAddresses() const {
    EnsureParsed();
    return addresses_.size();
}

Address& AddressList::AddressAt(size_t index) const {
    EnsureParsed();
    return *addresses_.at(index);
}

Address& AddressList::AddAddress(std::unique_ptr<Address> address) {
    EnsureParsed();
    Attach(*address, this);
    addresses_.push_back(std::move(address));
    SetModified();
    return *addresses_.back();
}

void AddressList::Parse() {
    MarkParsed();
    addresses_.clear();
    for (const auto& extent : AddressListParser(text_.View()).Addresses(true)) {
        std::unique_ptr<Address> address;
        if (extent.isGroup) {
            address = std::make_unique<Group>();
        } else {
            address = std::make_unique<Mailbox>();
        }
        Attach(*address, this);
        ParseChild(*address, text_.Substr(extent.begin, extent.end - extent.begin));
        addresses_.push_back(std::move(address));
    }
    ClearModified();
}

void AddressList::Assemble() {
    EnsureParsed();
    if (!IsModified()) {
        return;
    }
    StoreAssembled(JoinAddresses(addresses_));
}

std::unique_ptr<Node> AddressList::Clone() const {
    return std::unique_ptr<Node>(new AddressList(*this));
}

}  // namespace mimepp
