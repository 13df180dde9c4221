#include "mime/UniqueCounter.h"

#include <atomic>

namespace mimepp {

uint32_t NextUniqueCounter() {
    static std::atomic<uint32_t> counter{0};
    return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

}  // namespace mimepp
