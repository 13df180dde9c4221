#pragma once
// mimepp::Address: an entry of an address list, a Mailbox or a Group.

#include "mime/FieldBody.h"

namespace mimepp {

class Address : public FieldBody {
  protected:
    Address() = default;
    Address(const Address& other) = default;

    bool IsStructured() const override { return true; }

    // A display name or group name as written: in double quotes (with " and \ escaped) when it
    // holds an RFC 822 special ( ) < > @ , ; : \ . [ ] or a double quote, or a control
    // character; otherwise as it is.
    static String Phrase(const String& text);
};

// The assembled texts of `addresses` (mailboxes, groups) joined by ", ", empty ones left out.
template <typename Addresses>
String JoinAddresses(const Addresses& addresses) {
    String text;
    for (const auto& address : addresses) {
        address->Assemble();
        if (address->AsString().empty()) {
            continue;
        }
        if (!text.empty()) {
            text += ", ";
        }
        text += address->AsString();
    }
    return text;
}

}  // namespace mimepp
