#include "pst/BlockCache.h"

namespace pst {

std::shared_ptr<const Bytes> BlockCache::Find(uint64_t key) {
    auto it = index_.find(key);
    if (it == index_.end()) {
        return nullptr;
    }
    order_.splice(order_.begin(), order_, it->second);
    return it->second->second;
}

void BlockCache::Insert(uint64_t key, std::shared_ptr<const Bytes> data) {
    if (auto it = index_.find(key); it != index_.end()) {
        size_ -= it->second->second->size();
        order_.erase(it->second);
        index_.erase(it);
    }
    size_ += data->size();
    order_.emplace_front(key, std::move(data));
    index_[key] = order_.begin();
    while (size_ > capacity_ && order_.size() > 1) {
        size_ -= order_.back().second->size();
        index_.erase(order_.back().first);
        order_.pop_back();
    }
}

}  // namespace pst
