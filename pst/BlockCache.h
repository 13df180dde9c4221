#pragma once
// A least-recently-used cache of decoded blocks and B-tree pages, bounded by the bytes it holds, so
// that memory stays flat however large the file is. Not thread-safe: one cache per open file.

#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>

#include "pst/Bytes.h"

namespace pst {

class BlockCache {
  public:
    explicit BlockCache(size_t capacityBytes) : capacity_(capacityBytes) {}

    std::shared_ptr<const Bytes> Find(uint64_t key);
    void Insert(uint64_t key, std::shared_ptr<const Bytes> data);
    size_t SizeBytes() const { return size_; }

  private:
    using Entry = std::pair<uint64_t, std::shared_ptr<const Bytes>>;
    size_t capacity_;
    size_t size_ = 0;
    std::list<Entry> order_;  // most recent first
    std::unordered_map<uint64_t, std::list<Entry>::iterator> index_;
};

}  // namespace pst
