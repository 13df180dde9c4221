#pragma once
// Builds heaps, property contexts and table contexts and writes them through an NdbWriter.
// Values too large for the heap go to subnodes; the caller collects the returned subnode entries
// (with any subnodes of its own) into the node's subnode tree.

#include <cstdint>
#include <utility>
#include <vector>

#include "pst/NdbWriter.h"
#include "pst/Value.h"

namespace pst {

using PropertyList = std::vector<std::pair<uint32_t, Value>>;

// What a written node consists of: its data and the subnodes its values need.
struct NodeContent {
    uint64_t bidData = 0;
    std::vector<SubnodeEntry> subnodes;
};

// Hands out NIDs for subnodes within one node.
class SubnodeIds {
  public:
    explicit SubnodeIds(uint32_t firstIndex = 0x400) : next_(firstIndex) {}
    uint32_t Next(uint8_t type) { return (next_++ << 5) | type; }

  private:
    uint32_t next_;
};

class HeapBuilder {
  public:
    static constexpr size_t kMaxItem = 3580;

    explicit HeapBuilder(uint8_t clientSignature) : clientSignature_(clientSignature) {
        pages_.emplace_back();
    }

    uint32_t Allocate(ByteSpan data);
    void SetUserRoot(uint32_t hid) { userRoot_ = hid; }
    std::vector<Bytes> Pages() const;

  private:
    size_t HeaderSize(size_t page) const;
    uint8_t clientSignature_;
    uint32_t userRoot_ = 0;
    std::vector<std::vector<Bytes>> pages_;  // allocations per page
};

// A B-tree on the heap over records sorted by key; returns the HID of its header.
uint32_t BuildBTreeOnHeap(HeapBuilder& heap, size_t keySize, size_t dataSize,
                          const std::vector<std::pair<Bytes, Bytes>>& records);

// A value stored through the heap or a subnode; returns its HNID.
uint32_t StoreValue(NdbWriter& writer, HeapBuilder& heap, SubnodeIds& ids, ByteSpan stored,
                    NodeContent& node);

NodeContent WritePropertyContext(NdbWriter& writer, const PropertyList& properties, SubnodeIds& ids);

struct TableRowToWrite {
    uint32_t rowId;
    PropertyList values;
};
// `columns` are the property tags of the table; the row id and row version columns are added.
NodeContent WriteTableContext(NdbWriter& writer, std::vector<uint32_t> columns,
                              const std::vector<TableRowToWrite>& rows, SubnodeIds& ids);

}  // namespace pst
