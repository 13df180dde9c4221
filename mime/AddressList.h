#pragma once
// mimepp::AddressList: the value of To, Cc, Bcc and Reply-To fields, mailboxes and groups in order.
// Assembled form: the addresses' texts joined by ", ", empty ones left out.

#include <memory>
#include <vector>

#include "mime/Address.h"

namespace mimepp {

class AddressList : public FieldBody {
  public:
    AddressList() = default;
    ~AddressList() override;

    size_t NumAddresses() const;
    Address& AddressAt(size_t index) const;
    // Appends an address (the list takes it) and marks the list modified.
    Address& AddAddress(std::unique_ptr<Address> address);

    void Parse() override;
    void Assemble() override;
    std::unique_ptr<Node> Clone() const override;

  protected:
    bool IsStructured() const override { return true; }

  private:
    AddressList(const AddressList& other);

    std::vector<std::unique_ptr<Address>> addresses_;
};

}  // namespace mimepp
