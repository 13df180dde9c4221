#include "mime/Mailbox.h"

#include "mime/AddressListParser.h"
#include "mime/HeaderText.h"

namespace mimepp {

Mailbox::Mailbox() : displayName_(std::make_unique<mimepp::Text>()) {
    Attach(*displayName_, this);
}

Mailbox::~Mailbox() = default;

Mailbox::Mailbox(const Mailbox& other)
    : Address(other),
      displayName_(CloneAs(*other.displayName_)),
      route_(other.route_),
      localPart_(other.localPart_),
      domain_(other.domain_) {
    Attach(*displayName_, this);
}

Mailbox& Mailbox::operator=(const Mailbox& other) {
    if (this != &other) {
        other.EnsureParsed();
        MarkParsed();
        displayName_ = CloneAs(*other.displayName_);
        Attach(*displayName_, this);
        route_ = other.route_;
        localPart_ = other.localPart_;
        domain_ = other.domain_;
        SetModified();
    }
    return *this;
}

void Mailbox::SetDisplayName(std::string_view bytes, std::string_view charset) {
    EnsureParsed();
    displayName_->SetEncodedWords(String(charset), EncodePhraseWords(bytes, charset));
}

const mimepp::Text& Mailbox::DisplayName() const {
    EnsureParsed();
    return *displayName_;
}

const String& Mailbox::Route() const {
    EnsureParsed();
    return route_;
}

void Mailbox::SetRoute(const String& route) {
    EnsureParsed();
    route_ = route;
    SetModified();
}

const String& Mailbox::LocalPart() const {
    EnsureParsed();
    return localPart_;
}

void Mailbox::SetLocalPart(const String& localPart) {
    EnsureParsed();
    localPart_ = localPart;
    SetModified();
}

const String& Mailbox::Domain() const {
    EnsureParsed();
    return domain_;
}

void Mailbox::SetDomain(const String& domain) {
    EnsureParsed();
    domain_ = domain;
    SetModified();
}

void Mailbox::Parse() {
    MarkParsed();
    AddressListParser::MailboxParts parts = AddressListParser(text_.View()).Mailbox();
    ParseChild(*displayName_, String(parts.displayName));
    route_ = String(parts.route);
    localPart_ = String(parts.localPart);
    domain_ = String(parts.domain);
    ClearModified();
}

void Mailbox::Assemble() {
    EnsureParsed();
    if (!IsModified()) {
        return;
    }
    displayName_->Assemble();
    const String& name = displayName_->AsString();
    String text;
    if (!localPart_.empty() || !name.empty()) {
        if (!name.empty()) {
            text += Phrase(name);
            text += " ";
        }
        text += "<";
        if (!route_.empty()) {
            text += route_;
            text += ":";
        }
        text += localPart_;
        if (!domain_.empty()) {
            text += "@";
            text += domain_;
        }
        text += ">";
    }
    StoreAssembled(text);
}

std::unique_ptr<Node> Mailbox::Clone() const {
    return std::unique_ptr<Node>(new Mailbox(*this));
}

}  // namespace mimepp
