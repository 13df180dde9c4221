#pragma once
// The properties of one object (store, folder, message, attachment, name map): a B-tree on the
// node's heap from property id to type and value. The entries are read when the context is made;
// values are read when asked for, large ones from subnodes and, on request, as streams.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "pst/Heap.h"
#include "pst/Value.h"

namespace pst {

class PropertyContext {
  public:
    // Values larger than this are refused by Get(); read them with OpenStream().
    static constexpr uint64_t kDefaultValueLimit = 16 << 20;

    struct Entry {
        uint16_t id;
        uint16_t type;
        uint32_t valueHnid;  // the value itself for fixed types of 4 bytes or less
        uint32_t Tag() const { return MakeTag(id, type); }
    };

    PropertyContext(NodeDatabase& db, const Node& node);

    uint32_t Nid() const { return node_.nid; }
    const Node& GetNode() const { return node_; }
    const std::vector<Entry>& Entries() const { return entries_; }
    const Entry* Find(uint16_t id) const;

    // The value of `tag`; its type must match the stored type unless it is PT_UNSPECIFIED.
    // Missing properties give nothing; unreadable ones throw pst::Error.
    std::optional<Value> Get(uint32_t tag, uint64_t limit = kDefaultValueLimit) const;
    // The stored size of a value in bytes (for strings and binaries the byte count).
    uint64_t Size(const Entry& entry) const;
    // A stream over a string, binary or multi-valued value.
    std::unique_ptr<ByteStream> OpenStream(const Entry& entry) const;

    Value Decode(const Entry& entry, uint64_t limit) const;

  private:
    NodeDatabase& db_;
    Node node_;
    Heap heap_;
    std::vector<Entry> entries_;  // in property id order
};

}  // namespace pst
