#include "mapi/platform/ByteSource.h"

#include <algorithm>
#include <cstring>

namespace cfb {

size_t MemorySource::Read(uint8_t* buffer, size_t size) {
    size_t count = std::min(size, data_.size());
    if (count == 0)
        return 0;
    std::memcpy(buffer, data_.data(), count);
    data_.remove_prefix(count);
    return count;
}

}  // namespace cfb
