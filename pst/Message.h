#pragma once
// A message (also an embedded one) and its attachments. Recipients exist only as rows of the
// recipient table; attachments have a row in the attachment table and their own properties,
// opened by the row's id. An attachment may hold its data (PR_ATTACH_DATA_BIN, read as a stream)
// or an embedded message (PR_ATTACH_DATA_OBJ), which is a Message of its own.

#include <memory>
#include <optional>

#include "pst/PropertyContext.h"
#include "pst/TableContext.h"

namespace pst {

class Attachment;

class Message {
  public:
    Message(NodeDatabase& db, const Node& node);

    uint32_t Nid() const { return properties_.Nid(); }
    const PropertyContext& Properties() const { return properties_; }

    // Nothing when the message has no recipients / attachments.
    std::optional<TableContext> RecipientTable() const;
    std::optional<TableContext> AttachmentTable() const;
    // `attachmentNid` is the rowId of an attachment table row.
    Attachment OpenAttachment(uint32_t attachmentNid) const;

  private:
    std::optional<TableContext> SubnodeTable(uint32_t nid) const;

    NodeDatabase& db_;
    PropertyContext properties_;
};

class Attachment {
  public:
    Attachment(NodeDatabase& db, const Node& node);

    uint32_t Nid() const { return properties_.Nid(); }
    const PropertyContext& Properties() const { return properties_; }
    // PR_ATTACH_METHOD, 0 when absent (1 by value, 5 embedded message, 6 OLE, 2-4 references).
    int32_t Method() const;
    bool HasEmbeddedMessage() const;
    Message OpenEmbeddedMessage() const;
    // The attachment's data as a stream: PR_ATTACH_DATA_BIN, or for an OLE attachment (method 6)
    // the compound file kept in PR_ATTACH_DATA_OBJ. Nothing for embedded messages and references.
    std::unique_ptr<ByteStream> OpenData() const;

  private:
    uint32_t ObjectNid() const;

    NodeDatabase& db_;
    PropertyContext properties_;
};

}  // namespace pst
