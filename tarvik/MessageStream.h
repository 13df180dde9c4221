#pragma once
// The bytes of a message (or picture, or attachment) to upload: a seekable source read in pieces,
// so that a large message is never held in memory, let alone twice.

#include <cstdint>
#include <string>
#include <string_view>

namespace Tarvik::Mail {

class MessageStream {
  public:
    virtual ~MessageStream() = default;
    virtual uint64_t Size() const = 0;
    // Copies up to `size` bytes from `offset` into `buffer`; returns the count (0 at the end).
    // Throws std::system_error when the source cannot be read.
    virtual size_t ReadAt(uint64_t offset, char* buffer, size_t size) const = 0;
};

// An open file, such as the unlinked temporary file a converted message was written to. The
// descriptor is not owned; its file position is not used.
class FileMessageStream : public MessageStream {
  public:
    explicit FileMessageStream(int fd) : fd_(fd) {}
    uint64_t Size() const override;
    size_t ReadAt(uint64_t offset, char* buffer, size_t size) const override;

  private:
    int fd_;
};

// Bytes already in memory (a contact picture, a test message). Not owned.
class MemoryMessageStream : public MessageStream {
  public:
    explicit MemoryMessageStream(std::string_view bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    size_t ReadAt(uint64_t offset, char* buffer, size_t size) const override;

  private:
    std::string_view bytes_;
};

}  // namespace Tarvik::Mail
