#include "pst/Heap.h"

#include <unordered_set>

#include <fmt/format.h>

namespace pst {

Heap::Heap(NodeDatabase& db, uint64_t bidData) : data_(db, bidData) {
    if (data_.BlockCount() == 0) {
        throw Error("the node has no data where a heap was expected");
    }
    auto first = data_.Block(0);
    ByteSpan d(*first);
    if (U8(d, 2, "heap header") != 0xEC) {
        throw Error(fmt::format("not a heap: signature 0x{:02x} instead of 0xec", d[2]));
    }
    clientSignature_ = d[3];
    userRoot_ = U32(d, 4);
}

HeapItem Heap::Item(uint32_t hid) const {
    if (hid == 0) {
        return {};
    }
    if ((hid & 0x1F) != 0) {
        throw Error(fmt::format("0x{:x} is not a heap id", hid));
    }
    const size_t index = (hid >> 5) & 0x7FF;
    const size_t blockIndex = hid >> 16;
    if (index == 0 || blockIndex >= data_.BlockCount()) {
        throw Error(
            fmt::format("heap id 0x{:x} points outside the heap's {} pages", hid, data_.BlockCount()));
    }
    auto block = data_.Block(blockIndex);
    ByteSpan d(*block);
    const size_t map = U16(d, 0, "heap page header");
    const size_t count = U16(d, map, "heap page map");
    if (index > count) {
        throw Error(fmt::format("heap id 0x{:x}: page {} has only {} allocations", hid, blockIndex, count));
    }
    const size_t begin = U16(d, map + 4 + (index - 1) * 2, "heap page map");
    const size_t end = U16(d, map + 4 + index * 2, "heap page map");
    if (begin > end || end > map) {
        throw Error(fmt::format("heap id 0x{:x}: allocation {}..{} is not inside page {}", hid, begin, end,
                                blockIndex));
    }
    return {block, d.subspan(begin, end - begin)};
}

BTreeOnHeap::BTreeOnHeap(const Heap& heap, uint32_t headerHid) : heap_(heap) {
    HeapItem header = heap.Item(headerHid);
    if (header.bytes.size() < 8 || header.bytes[0] != Heap::kBTreeOnHeap) {
        throw Error(fmt::format("heap id 0x{:x} is not a B-tree-on-heap header", headerHid));
    }
    keySize_ = header.bytes[1];
    dataSize_ = header.bytes[2];
    levels_ = header.bytes[3];
    root_ = U32(header.bytes, 4);
    if (keySize_ == 0 || keySize_ > 8 || levels_ > 8) {
        throw Error(fmt::format("B-tree-on-heap with {}-byte keys and {} levels is not supported", keySize_,
                                levels_));
    }
}

uint64_t BTreeOnHeap::Key(ByteSpan record) const {
    uint64_t key = 0;
    for (size_t i = keySize_; i-- > 0;) {
        key = (key << 8) | record[i];
    }
    return key;
}

void BTreeOnHeap::ForEach(const std::function<void(uint64_t, ByteSpan)>& visit) const {
    if (root_ != 0) {
        std::unordered_set<uint32_t> seen;
        Walk(root_, levels_, seen, visit);
    }
}

void BTreeOnHeap::Walk(uint32_t hid, int level, std::unordered_set<uint32_t>& seen,
                       const std::function<void(uint64_t, ByteSpan)>& visit) const {
    // A node reached twice would make the walk repeat (or explode) on a crafted heap.
    if (!seen.insert(hid).second) {
        throw Error(fmt::format("B-tree-on-heap node 0x{:x} is referenced twice", hid));
    }
    HeapItem item = heap_.Item(hid);
    const size_t recordSize = keySize_ + (level == 0 ? dataSize_ : 4);
    if (item.bytes.size() % recordSize != 0) {
        throw Error(
            fmt::format("B-tree-on-heap node 0x{:x}: {} bytes is not a whole number of {}-byte records", hid,
                        item.bytes.size(), recordSize));
    }
    for (size_t off = 0; off < item.bytes.size(); off += recordSize) {
        ByteSpan record = item.bytes.subspan(off, recordSize);
        if (level == 0) {
            visit(Key(record), record.subspan(keySize_));
        } else {
            Walk(U32(record, keySize_), level - 1, seen, visit);
        }
    }
}

std::optional<Bytes> BTreeOnHeap::Find(uint64_t key) const {
    uint32_t hid = root_;
    for (int level = levels_; hid != 0; --level) {
        HeapItem item = heap_.Item(hid);
        const size_t recordSize = keySize_ + (level == 0 ? dataSize_ : 4);
        if (item.bytes.size() % recordSize != 0) {
            throw Error(fmt::format("B-tree-on-heap node 0x{:x} has a partial record", hid));
        }
        uint32_t next = 0;
        for (size_t off = 0; off < item.bytes.size(); off += recordSize) {
            ByteSpan record = item.bytes.subspan(off, recordSize);
            uint64_t k = Key(record);
            if (level == 0) {
                if (k == key) {
                    return Bytes(record.begin() + keySize_, record.end());
                }
            } else if (k <= key) {
                next = U32(record, keySize_);
            } else {
                break;
            }
        }
        if (level == 0) {
            return std::nullopt;
        }
        hid = next;
    }
    return std::nullopt;
}

}  // namespace pst

namespace pst {
namespace {

bool IsHid(uint32_t hnid) {
    return (hnid & 0x1F) == 0;
}

DataTree SubnodeData(NodeDatabase& db, uint64_t bidSub, uint32_t nid) {
    auto node = db.FindSubnode(bidSub, nid);
    if (!node) {
        throw Error(fmt::format("value subnode 0x{:x} is missing", nid));
    }
    return db.OpenData(node->bidData);
}

}  // namespace

uint64_t HnidSize(NodeDatabase& db, const Heap& heap, uint64_t bidSub, uint32_t hnid) {
    return IsHid(hnid) ? heap.Item(hnid).bytes.size() : SubnodeData(db, bidSub, hnid).Size();
}

Bytes ReadHnid(NodeDatabase& db, const Heap& heap, uint64_t bidSub, uint32_t hnid, uint64_t limit) {
    if (IsHid(hnid)) {
        HeapItem item = heap.Item(hnid);
        return Bytes(item.bytes.begin(), item.bytes.end());
    }
    return SubnodeData(db, bidSub, hnid).ReadAll(limit);
}

std::unique_ptr<ByteStream> OpenHnid(NodeDatabase& db, const Heap& heap, uint64_t bidSub, uint32_t hnid) {
    if (IsHid(hnid)) {
        HeapItem item = heap.Item(hnid);
        return std::make_unique<MemoryStream>(Bytes(item.bytes.begin(), item.bytes.end()));
    }
    return SubnodeData(db, bidSub, hnid).OpenStream();
}

}  // namespace pst
