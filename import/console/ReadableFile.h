#pragma once
// A file the program only reads (a PST file, a job file): it must open for reading and must not be
// in the middle of being written by another program. Write permission is never asked for, so files
// on read-only media import as well. While the object lives it holds a shared lock on the file, so a
// program that locks before writing waits until the import is over.

#include <cstdint>
#include <optional>
#include <string>

class ReadableFile {
  public:
    // Opens `path` and takes the shared lock. Nothing, with `error` set to the reason (the system's
    // message, or ERR_FILE_IN_USE), when either fails or the path is not a regular file.
    static std::optional<ReadableFile> Open(const std::string& path, std::string& error);

    ReadableFile(ReadableFile&& other) noexcept;
    ReadableFile& operator=(ReadableFile&& other) noexcept;
    ReadableFile(const ReadableFile&) = delete;
    ReadableFile& operator=(const ReadableFile&) = delete;
    ~ReadableFile();

    int Fd() const { return fd_; }
    uint64_t Size() const { return size_; }
    // The whole content (for small files such as job files); throws std::runtime_error on a read error.
    std::string ReadAll() const;

  private:
    ReadableFile(int fd, uint64_t size) : fd_(fd), size_(size) {}

    int fd_ = -1;
    uint64_t size_ = 0;
};
