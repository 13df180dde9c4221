#pragma once
// The heap-on-node: small allocations (HIDs) packed into the data blocks of one node, and the
// B-tree-on-heap (BTH) built on it. Property and table contexts are both stored this way.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>

#include "pst/NodeDatabase.h"

namespace pst {

// One allocation: its bytes, kept alive with the block they live in.
struct HeapItem {
    std::shared_ptr<const Bytes> block;
    ByteSpan bytes;
};

class Heap {
  public:
    static constexpr uint8_t kPropertyContext = 0xBC;
    static constexpr uint8_t kTableContext = 0x7C;
    static constexpr uint8_t kBTreeOnHeap = 0xB5;

    Heap(NodeDatabase& db, uint64_t bidData);

    uint8_t ClientSignature() const { return clientSignature_; }
    uint32_t UserRoot() const { return userRoot_; }
    // Throws for a HID that does not name an allocation of this heap. HID 0 is empty.
    HeapItem Item(uint32_t hid) const;

  private:
    DataTree data_;
    uint8_t clientSignature_ = 0;
    uint32_t userRoot_ = 0;
};

// A B-tree on a heap with keys of 1 to 8 bytes (compared as little-endian numbers).
class BTreeOnHeap {
  public:
    BTreeOnHeap(const Heap& heap, uint32_t headerHid);

    size_t KeySize() const { return keySize_; }
    size_t DataSize() const { return dataSize_; }
    std::optional<Bytes> Find(uint64_t key) const;
    // Visits every record in key order.
    void ForEach(const std::function<void(uint64_t key, ByteSpan data)>& visit) const;

  private:
    void Walk(uint32_t hid, int level, std::unordered_set<uint32_t>& seen,
              const std::function<void(uint64_t, ByteSpan)>& visit) const;
    uint64_t Key(ByteSpan record) const;

    const Heap& heap_;
    size_t keySize_ = 0;
    size_t dataSize_ = 0;
    int levels_ = 0;
    uint32_t root_ = 0;
};

}  // namespace pst

namespace pst {

// Values addressed by an HNID: a heap allocation (HID) or, for large values, a subnode of the node
// that owns the heap. Reading a value whole is refused above `limit` bytes; use the stream then.
uint64_t HnidSize(NodeDatabase& db, const Heap& heap, uint64_t bidSub, uint32_t hnid);
Bytes ReadHnid(NodeDatabase& db, const Heap& heap, uint64_t bidSub, uint32_t hnid, uint64_t limit);
std::unique_ptr<ByteStream> OpenHnid(NodeDatabase& db, const Heap& heap, uint64_t bidSub, uint32_t hnid);

}  // namespace pst
