#include "pst/Message.h"

#include <fmt/format.h>

#include "pst/NodeIds.h"
#include "pst/PropTags.h"

namespace pst {

Message::Message(NodeDatabase& db, const Node& node) : db_(db), properties_(db, node) {}

std::optional<TableContext> Message::SubnodeTable(uint32_t nid) const {
    auto node = db_.FindSubnode(properties_.GetNode().bidSub, nid);
    if (!node) {
        return std::nullopt;
    }
    try {
        return std::optional<TableContext>(std::in_place, db_, *node);
    } catch (const Error& e) {
        throw e.AtNode(nid).InFile(db_.Path());
    }
}

std::optional<TableContext> Message::RecipientTable() const {
    return SubnodeTable(Nid::RecipientTable);
}
std::optional<TableContext> Message::AttachmentTable() const {
    return SubnodeTable(Nid::AttachmentTable);
}

Attachment Message::OpenAttachment(uint32_t attachmentNid) const {
    auto node = db_.FindSubnode(properties_.GetNode().bidSub, attachmentNid);
    if (!node) {
        throw Error(fmt::format("attachment 0x{:x} is missing", attachmentNid)).AtNode(Nid());
    }
    try {
        return Attachment(db_, *node);
    } catch (const Error& e) {
        throw e.AtNode(attachmentNid).InFile(db_.Path());
    }
}

Attachment::Attachment(NodeDatabase& db, const Node& node) : db_(db), properties_(db, node) {}

int32_t Attachment::Method() const {
    auto v = properties_.Get(Tag::AttachMethod);
    return v ? v->AsInt32() : 0;
}

bool Attachment::HasEmbeddedMessage() const {
    // An OLE attachment (method 6) also keeps a PT_OBJECT, but it holds a compound file.
    const auto* entry = properties_.Find(TagId(Tag::AttachDataObject));
    return entry != nullptr && entry->type == PropType::Object && Method() == 5;
}

uint32_t Attachment::ObjectNid() const {
    const auto* entry = properties_.Find(TagId(Tag::AttachDataObject));
    if (entry == nullptr || entry->type != PropType::Object) {
        throw Error("the attachment holds no object").AtNode(Nid());
    }
    // Usually a heap item {nid, size}; some writers put the subnode's NID in the entry itself.
    uint32_t nid = entry->valueHnid;
    if ((nid & 0x1F) == 0) {
        nid = U32(properties_.Decode(*entry, 8).Raw(), 0);
    }
    return nid;
}

Message Attachment::OpenEmbeddedMessage() const {
    if (!HasEmbeddedMessage()) {
        throw Error("the attachment holds no embedded message").AtNode(Nid());
    }
    const uint32_t nid = ObjectNid();
    auto node = db_.FindSubnode(properties_.GetNode().bidSub, nid);
    if (!node) {
        throw Error(fmt::format("embedded message 0x{:x} is missing", nid)).AtNode(Nid());
    }
    try {
        return Message(db_, *node);
    } catch (const Error& e) {
        throw e.AtNode(nid).InFile(db_.Path());
    }
}

std::unique_ptr<ByteStream> Attachment::OpenData() const {
    if (const auto* entry = properties_.Find(TagId(Tag::AttachDataBinary));
        entry && entry->type == PropType::Binary) {
        return properties_.OpenStream(*entry);
    }
    const auto* object = properties_.Find(TagId(Tag::AttachDataObject));
    if (object == nullptr || object->type != PropType::Object || HasEmbeddedMessage()) {
        return nullptr;
    }
    const uint32_t nid = ObjectNid();
    auto node = db_.FindSubnode(properties_.GetNode().bidSub, nid);
    if (!node) {
        throw Error(fmt::format("attachment object 0x{:x} is missing", nid)).AtNode(Nid());
    }
    return db_.OpenData(node->bidData).OpenStream();
}

}  // namespace pst
