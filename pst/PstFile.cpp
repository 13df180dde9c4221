#include "pst/PstFile.h"

#include <algorithm>
#include <cctype>

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
    // An OST cannot be protected by a password; Exchange caches still carry the property (all ones).
    if (GetHeader().clientMagic == "SO") {
        return std::nullopt;
    }
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

std::optional<uint32_t> PstFile::ReceiveFolderNid(const std::string& messageClass) {
    auto node = db_->FindNode(Nid::ReceiveFolderTable);
    if (!node) {
        return std::nullopt;
    }
    try {
        TableContext table(*db_, *node);
        std::optional<uint32_t> best;
        size_t bestLength = 0;
        auto lower = [](std::string s) {
            for (auto& c : s) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            return s;
        };
        const std::string wanted = lower(messageClass);
        for (size_t i = 0; i < table.RowCount(); ++i) {
            TableRow row = table.ReadRow(i);
            const Value* cls = row.Find(Tag::MessageClass);
            const Value* folder = row.Find(Tag::ReceiveFolderNid);
            if (cls == nullptr || folder == nullptr) {
                continue;
            }
            // A class receives in the folder of its longest registered prefix, whole parts only.
            std::string prefix = lower(cls->AsText());
            bool matches = prefix.empty() || wanted == prefix ||
                           (wanted.size() > prefix.size() && wanted.compare(0, prefix.size(), prefix) == 0 &&
                            wanted[prefix.size()] == '.');
            if (matches && (!best || prefix.size() >= bestLength)) {
                best = static_cast<uint32_t>(folder->AsInt32());
                bestLength = prefix.size();
            }
        }
        return best;
    } catch (const Error& e) {
        throw e.AtNode(Nid::ReceiveFolderTable).InFile(Path());
    }
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
