#include "tarvik/MessageStream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace Tarvik::Mail {

uint64_t FileMessageStream::Size() const {
    struct stat status {};
    if (fstat(fd_, &status) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot read the message file");
    }
    return static_cast<uint64_t>(status.st_size);
}

size_t FileMessageStream::ReadAt(uint64_t offset, char* buffer, size_t size) const {
    for (;;) {
        ssize_t got = pread(fd_, buffer, size, static_cast<off_t>(offset));
        if (got >= 0) {
            return static_cast<size_t>(got);
        }
        if (errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "cannot read the message file");
        }
    }
}

size_t MemoryMessageStream::ReadAt(uint64_t offset, char* buffer, size_t size) const {
    if (offset >= bytes_.size()) {
        return 0;
    }
    return bytes_.copy(buffer, size, static_cast<size_t>(offset));
}

}  // namespace Tarvik::Mail
