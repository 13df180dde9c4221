#include "mime/Mailbox.h"

#include "mime/AddressListParser.h"
#include "mime/CharClasses.h"
#include "mime/HeaderText.h"
#include "mime/Tokenizer.h"

namespace mimepp {
namespace {

// Atoms and dots only: written as they are (consecutive dots included, as some providers use).
bool IsDottedAtoms(std::string_view text) {
    for (char c : text) {
        if (c != '.' && !chars::IsAtomChar(c, chars::kRfc822Specials)) {
            return false;
        }
    }
    return true;
}

// One whole quoted string (or domain literal when open is '['), nothing after it.
bool IsDelimited(std::string_view text, char open, char close) {
    if (text.size() < 2 || text.front() != open || text.back() != close) {
        return false;
    }
    size_t i = 1;
    while (i < text.size() - 1) {
        if (text[i] == '\\') {
            i += 2;
        } else if (text[i] == close || text[i] == open) {
            return false;
        } else {
            ++i;
        }
    }
    return i == text.size() - 1;
}

std::string Delimited(std::string_view text, char open, char close) {
    std::string out(1, open);
    for (char c : text) {
        if (c == open || c == close || c == '\\') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back(close);
    return out;
}

// An address part with a quote, bracket, comma or space of its own would end the address early
// for every reader (and take the following addresses with it); such parts are written quoted.
String SafeLocalPart(const String& localPart) {
    std::string_view text = localPart.View();
    if (IsDottedAtoms(text) || IsDelimited(text, '"', '"')) {
        return localPart;
    }
    return String(Delimited(text, '"', '"'));
}

String SafeDomain(const String& domain) {
    std::string_view text = domain.View();
    if (IsDottedAtoms(text) || IsDelimited(text, '[', ']')) {
        return domain;
    }
    return String(Delimited(text, '[', ']'));
}

// Source routes are obsolete; one that is not a plain list of domains is left out.
bool IsPlainRoute(std::string_view route) {
    for (char c : route) {
        if (!chars::IsAtomChar(c, chars::kRfc822Specials) &&
            std::string_view("@,.[]").find(c) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

}  // namespace

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
    displayName_->SetEncodedWords(EncodePhraseWords(bytes, charset));
}

const mimepp::Text& Mailbox::DisplayName() const {
    EnsureParsed();
    return *displayName_;
}

const String& Mailbox::Route() const {
    EnsureParsed();
    return route_;
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
        if (!route_.empty() && IsPlainRoute(route_.View())) {
            text += route_;
            text += ":";
        }
        text += SafeLocalPart(localPart_);
        if (!domain_.empty()) {
            text += "@";
            text += SafeDomain(domain_);
        }
        text += ">";
    }
    StoreAssembled(text);
}

std::unique_ptr<Node> Mailbox::Clone() const {
    return std::unique_ptr<Node>(new Mailbox(*this));
}

}  // namespace mimepp
