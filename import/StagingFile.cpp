#include "import/StagingFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string TemporaryDirectory() {
    const char* directory = std::getenv("TMPDIR");
    return directory != nullptr && *directory != '\0' ? directory : "/tmp";
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

std::unique_ptr<StagingFile> StagingFile::Create() {
    std::string directory = TemporaryDirectory();
    int fd = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // File systems without unnamed files: a named one, removed at once.
        std::string pattern = directory + "/tvkXXXXXX";
        fd = mkostemp(pattern.data(), O_CLOEXEC);
        if (fd >= 0) {
            unlink(pattern.c_str());
        }
    }
    if (fd < 0) {
        return nullptr;
    }
    return std::unique_ptr<StagingFile>(new StagingFile(fd));
}

StagingFile::StagingFile(int fd) : fd_(fd), buffer_(fd), stream_(&buffer_) {}

StagingFile::~StagingFile() {
    close(fd_);
}

bool StagingFile::Flush() {
    stream_.flush();
    return static_cast<bool>(stream_);
}

StagingFile::Buffer::Buffer(int fd) : fd_(fd) {
    setp(space_, space_ + sizeof space_);
}

bool StagingFile::Buffer::Drain() {
    bool written = WriteAll(fd_, pbase(), static_cast<size_t>(pptr() - pbase()));
    setp(space_, space_ + sizeof space_);
    return written;
}

StagingFile::Buffer::int_type StagingFile::Buffer::overflow(int_type c) {
    if (!Drain()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

std::streamsize StagingFile::Buffer::xsputn(const char* data, std::streamsize size) {
    if (size >= static_cast<std::streamsize>(sizeof space_)) {
        // Large pieces (attachments) go straight to the file.
        if (!Drain() || !WriteAll(fd_, data, static_cast<size_t>(size))) {
            return 0;
        }
        return size;
    }
    return std::streambuf::xsputn(data, size);
}
