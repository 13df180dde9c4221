#include "import/console/ReadableFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "runtime/Text.h"

namespace {

bool LockedByWriter(int error) {
    return error == EWOULDBLOCK || error == EAGAIN || error == EACCES;
}

// Writers may lock either way: with flock or with POSIX record locks (fcntl). Both are asked for
// a shared lock; a writer's exclusive lock refuses it.
bool TakeSharedLock(int fd, std::string& error) {
    if (flock(fd, LOCK_SH | LOCK_NB) != 0) {
        error = LockedByWriter(errno) ? LookupText("ERR_FILE_IN_USE") : strerror(errno);
        return false;
    }
    struct flock range {};
    range.l_type = F_RDLCK;
    range.l_whence = SEEK_SET;
    if (fcntl(fd, F_OFD_SETLK, &range) != 0) {
        if (LockedByWriter(errno)) {
            error = LookupText("ERR_FILE_IN_USE");
            return false;
        }
        // A file system without record locks: the flock above is all there is.
    }
    return true;
}

}  // namespace

std::optional<ReadableFile> ReadableFile::Open(const std::string& path, std::string& error) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = strerror(errno);
        return std::nullopt;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = strerror(S_ISDIR(status.st_mode) ? EISDIR : EINVAL);
        close(fd);
        return std::nullopt;
    }
    if (!TakeSharedLock(fd, error)) {
        close(fd);
        return std::nullopt;
    }
    return ReadableFile(fd, static_cast<uint64_t>(status.st_size));
}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
    }
    return *this;
}

ReadableFile::~ReadableFile() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

std::string ReadableFile::ReadAll() const {
    std::string content;
    char buffer[65536];
    for (off_t offset = 0;;) {
        ssize_t count = pread(fd_, buffer, sizeof buffer, offset);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            throw std::runtime_error(strerror(errno));
        }
        if (count == 0) {
            return content;
        }
        content.append(buffer, static_cast<size_t>(count));
        offset += count;
    }
}
