#pragma once
// A readable sequence of bytes of any length, read front to back in pieces: how large property
// values and attachment data reach the file writers without being held whole in memory.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cfb {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Reads up to `size` bytes into `buffer`; returns how many were read, 0 only at the end.
    // Failures are thrown.
    virtual size_t Read(uint8_t* buffer, size_t size) = 0;
};

// Bytes already in memory, seen through a source (the bytes must outlive it).
class MemorySource : public ByteSource {
  public:
    explicit MemorySource(std::string_view data) : data_(data) {}
    size_t Read(uint8_t* buffer, size_t size) override;

  private:
    std::string_view data_;
};

}  // namespace cfb
