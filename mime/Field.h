#pragma once
// mimepp::Field: one header field, a name and a field body. The name is kept exactly as given
// ("Content-Type"); lookups compare it case-insensitively. The body is created on demand, of the
// class the field name calls for (CreateFieldBody).
//
// Assembled form: name, ": ", the body's text, CR LF. A line break in the body that is not a fold
// (CR LF followed by a space or tab) is written as a space, so no value can end its field early or
// start a new one, whatever text a caller stored verbatim.

#include <memory>
#include <string_view>

#include "mime/FieldBody.h"

namespace mimepp {

class Field : public Node {
  public:
    explicit Field(const String& name = String());
    ~Field() override;

    const String& FieldName() const { return name_; }

    // The body, created from the field name when missing.
    mimepp::FieldBody& FieldBody();

    // Name: the text before the first ':' without trailing white space (empty when there is no
    // ':' or when it is not a valid field name: printable ASCII only). Body: the rest, trimmed.
    void Parse() override;
    void Assemble() override;
    std::unique_ptr<Node> Clone() const override;

  private:
    Field(const Field& other);

    String name_;
    std::unique_ptr<mimepp::FieldBody> body_;
};

// The field body class for a field name (compared case-insensitively):
//   to, cc, bcc, reply-to, resent-to, resent-cc, resent-bcc, resent-reply-to -> AddressList
//   from, resent-from -> MailboxList;  sender, resent-sender, return-path -> Mailbox
//   date, resent-date -> DateTime;  message-id, resent-message-id, content-id -> MsgId
//   content-type -> MediaType;  content-disposition -> DispositionType
//   content-transfer-encoding -> TransferEncodingType;  received -> Stamp;  subject -> Text
//   anything else -> FieldBody
std::unique_ptr<FieldBody> CreateFieldBody(std::string_view fieldName);

}  // namespace mimepp
