#include "pst/PstFile.h"

#include <algorithm>

#include <fmt/format.h>

#include "pst/PropTags.h"

namespace pst {

PstFile::PstFile(const std::string& path, OpenOptions options)
    : db_(std::make_unique<NodeDatabase>(path, options.cacheBytes, options.verifyChecksums)) {
    try {
        store_ = std::make_unique<PropertyContext>(*db_, RequireNode(Nid::MessageStore));
        if (auto key = store_->Get(Tag::RecordKey); key && key->Raw().size() == 16) {
            std::copy_n(key->Raw().begin(), 16, recordKey_.begin());
        }
    } catch (const Error& e) {
        throw e.AtNode(Nid::MessageStore).InFile(path);
    }
}

Node PstFile::RequireNode(uint32_t nid) {
    auto node = db_->FindNode(nid);
    if (!node) {
        throw Error("the node is missing from the node B-tree", {}, nid);
    }
    return *node;
}

std::optional<uint32_t> PstFile::PasswordCrc() const {
    auto v = store_->Get(Tag::PstPassword);
    if (!v || v->AsInt32() == 0) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(v->AsInt32());
}

uint32_t PstFile::Codepage() const {
    auto v = store_->Get(Tag::MessageCodepage);
    return v && v->AsInt32() > 0 ? static_cast<uint32_t>(v->AsInt32()) : 1252;
}

const NameMap& PstFile::Names() {
    if (!names_) {
        names_ = std::make_unique<NameMap>();
        if (auto node = db_->FindNode(Nid::NameToIdMap)) {
            try {
                *names_ = NameMap(PropertyContext(*db_, *node));
            } catch (const Error& e) {
                throw e.AtNode(Nid::NameToIdMap).InFile(Path());
            }
        }
    }
    return *names_;
}

Bytes PstFile::EntryIdOf(uint32_t nid) const {
    Bytes id(24, 0);
    std::copy(recordKey_.begin(), recordKey_.end(), id.begin() + 4);
    Put32(id.data() + 20, nid);
    return id;
}

std::optional<uint32_t> PstFile::NidOfEntryId(ByteSpan entryId) const {
    if (entryId.size() != 24 || !std::equal(recordKey_.begin(), recordKey_.end(), entryId.begin() + 4)) {
        return std::nullopt;
    }
    return U32(entryId, 20);
}

std::optional<uint32_t> PstFile::IpmSubtreeNid() const {
    auto v = store_->Get(Tag::IpmSubtreeEntryId);
    return v ? NidOfEntryId(v->Raw()) : std::nullopt;
}

Folder PstFile::OpenFolder(uint32_t nid) {
    try {
        return Folder(*db_, RequireNode(nid));
    } catch (const Error& e) {
        throw e.AtNode(nid).InFile(Path());
    }
}

Message PstFile::OpenMessage(uint32_t nid) {
    try {
        return Message(*db_, RequireNode(nid));
    } catch (const Error& e) {
        throw e.AtNode(nid).InFile(Path());
    }
}

}  // namespace pst
