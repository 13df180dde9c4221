#pragma once
// mimepp::Headers: the header block of a message or body part, an ordered list of fields. Output
// order is insertion order; fields are found by name case-insensitively, the first match wins.

#include <memory>
#include <string_view>
#include <vector>

#include "mime/Field.h"

namespace mimepp {

class AddressList;
class DispositionType;
class Mailbox;
class MailboxList;
class MediaType;
class MsgId;
class Text;
class TransferEncodingType;

class Headers : public Node {
  public:
    Headers();
    ~Headers() override;

    // The body of the first field called `name`. When there is none, a field with exactly that name
    // is appended (so the headers are modified) and its body created by the field-name table; the
    // reference may be cast to that class. To look without creating, use HasField.
    FieldBody& FieldBodyByName(std::string_view name);
    // The first field called `name`, or nullptr; creates nothing.
    Field* HasField(std::string_view name) const;

    size_t NumFields() const { return fields_.size(); }
    Field& FieldAt(size_t index) const { return *fields_.at(index); }
    // Appends a field (the headers take it) and marks the headers modified.
    Field& AddField(std::unique_ptr<Field> field);

    // FieldBodyByName with these names, as their classes.
    MediaType& ContentType();                         // "Content-Type"
    TransferEncodingType& ContentTransferEncoding();  // "Content-Transfer-Encoding"
    DispositionType& ContentDisposition();            // "Content-Disposition"
    MsgId& ContentId();                               // "Content-ID"
    Text& Subject();                                  // "Subject"
    Mailbox& Sender();                                // "Sender"
    AddressList& ReplyTo();                           // "Reply-To"
    MsgId& MessageId();                               // "Message-ID"
    MailboxList& From();                              // "From"

    // Cuts the block into fields: a field runs to a line feed that is not followed by a space or
    // tab. Lines holding only white space make no field.
    void Parse() override;
    void Assemble() override;
    std::unique_ptr<Node> Clone() const override;

  private:
    Headers(const Headers& other);

    template <typename T>
    T& TypedFieldBody(std::string_view name);

    std::vector<std::unique_ptr<Field>> fields_;
};

}  // namespace mimepp
