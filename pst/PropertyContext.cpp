#include "pst/PropertyContext.h"

#include <algorithm>

#include <fmt/format.h>

namespace pst {

PropertyContext::PropertyContext(NodeDatabase& db, const Node& node)
    : db_(db), node_(node), heap_(db, node.bidData) {
    if (heap_.ClientSignature() != Heap::kPropertyContext) {
        throw Error(
            fmt::format("not a property context (heap client signature 0x{:02x})", heap_.ClientSignature()));
    }
    BTreeOnHeap tree(heap_, heap_.UserRoot());
    if (tree.KeySize() != 2 || tree.DataSize() != 6) {
        throw Error(fmt::format("property context B-tree has {}-byte keys and {}-byte records",
                                tree.KeySize(), tree.DataSize()));
    }
    tree.ForEach([&](uint64_t key, ByteSpan data) {
        entries_.push_back({static_cast<uint16_t>(key), U16(data, 0), U32(data, 2)});
    });
    // Lookups rely on the order; a damaged tree may not keep it.
    std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) { return a.id < b.id; });
}

const PropertyContext::Entry* PropertyContext::Find(uint16_t id) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), id,
                               [](const Entry& e, uint16_t key) { return e.id < key; });
    return it != entries_.end() && it->id == id ? &*it : nullptr;
}

std::optional<Value> PropertyContext::Get(uint32_t tag, uint64_t limit) const {
    const Entry* entry = Find(TagId(tag));
    if (entry == nullptr || (TagType(tag) != PropType::Unspecified && TagType(tag) != entry->type)) {
        return std::nullopt;
    }
    return Decode(*entry, limit);
}

namespace {

bool InlineType(uint16_t type) {
    size_t size = FixedSize(type);
    return size != 0 && size <= 4;
}

}  // namespace

Value PropertyContext::Decode(const Entry& entry, uint64_t limit) const {
    try {
        if (InlineType(entry.type)) {
            Bytes raw(4);
            Put32(raw.data(), entry.valueHnid);
            raw.resize(FixedSize(entry.type));
            return Value(entry.type, std::move(raw));
        }
        Bytes stored =
            entry.valueHnid == 0 ? Bytes{} : ReadHnid(db_, heap_, node_.bidSub, entry.valueHnid, limit);
        if (entry.type & PropType::MultiValued) {
            return Value::FromStoredMulti(entry.type, stored);
        }
        if (size_t size = FixedSize(entry.type); size != 0 && stored.size() != size) {
            throw Error(fmt::format("{}-byte value for a {}", stored.size(), TypeName(entry.type)));
        }
        if (entry.type == PropType::Object && stored.size() != 8) {
            throw Error(fmt::format("object reference of {} bytes instead of 8", stored.size()));
        }
        return Value(entry.type, std::move(stored));
    } catch (const Error& e) {
        throw Error(fmt::format("property 0x{:08x}: {}", entry.Tag(), e.Detail()))
            .AtNode(node_.nid)
            .InFile(db_.Path());
    }
}

uint64_t PropertyContext::Size(const Entry& entry) const {
    if (InlineType(entry.type)) {
        return FixedSize(entry.type);
    }
    return entry.valueHnid == 0 ? 0 : HnidSize(db_, heap_, node_.bidSub, entry.valueHnid);
}

std::unique_ptr<ByteStream> PropertyContext::OpenStream(const Entry& entry) const {
    if (InlineType(entry.type)) {
        return std::make_unique<MemoryStream>(Decode(entry, 16).Raw());
    }
    if (entry.valueHnid == 0) {
        return std::make_unique<MemoryStream>(Bytes{});
    }
    return OpenHnid(db_, heap_, node_.bidSub, entry.valueHnid);
}

}  // namespace pst
