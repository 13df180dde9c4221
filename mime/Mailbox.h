#pragma once
// mimepp::Mailbox: one address, a display name and route, local part and domain.
//
// Assembled form: empty when there is neither a local part nor a display name; otherwise the
// display name as a phrase and a space (when there is one), then "<", the route and ":" (when
// set), the local part, "@" and the domain (when set), ">". A local part or domain holding
// characters that would end the address early (quotes, brackets, commas, white space, ...) is
// written as a quoted string or domain literal instead, so it cannot swallow what follows.

#include <memory>
#include <string_view>

#include "mime/Address.h"
#include "mime/Text.h"

namespace mimepp {

class Mailbox : public Address {
  public:
    Mailbox();
    ~Mailbox() override;
    // Takes over the other mailbox's parts (not its place in a tree) and marks this one modified.
    Mailbox& operator=(const Mailbox& other);

    // Sets the display name from bytes in `charset`: plain when ASCII, else encoded words (see
    // EncodePhraseWords). The converters pass UTF-8 and "UTF-8".
    void SetDisplayName(std::string_view bytes, std::string_view charset);
    const mimepp::Text& DisplayName() const;

    const String& Route() const;
    const String& LocalPart() const;
    void SetLocalPart(const String& localPart);
    const String& Domain() const;
    void SetDomain(const String& domain);

    void Parse() override;
    void Assemble() override;
    std::unique_ptr<Node> Clone() const override;

  private:
    Mailbox(const Mailbox& other);

    std::unique_ptr<mimepp::Text> displayName_;
    String route_;
    String localPart_;
    String domain_;
};

}  // namespace mimepp
