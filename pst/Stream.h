#pragma once
// A readable, seekable byte stream: how large property values and attachment data are handed out
// without loading them whole.

#include <cstdint>
#include <memory>

#include "pst/Bytes.h"

namespace pst {

class ByteStream {
  public:
    virtual ~ByteStream() = default;
    virtual uint64_t Size() const = 0;
    virtual uint64_t Tell() const = 0;
    // Positions past the end are allowed; reads there return 0 bytes.
    virtual void Seek(uint64_t position) = 0;
    // Reads up to `size` bytes; returns how many were read, 0 at the end.
    virtual size_t Read(uint8_t* out, size_t size) = 0;

    // Reads everything from the current position to the end.
    Bytes ReadRest();
};

class MemoryStream : public ByteStream {
  public:
    explicit MemoryStream(Bytes data) : data_(std::move(data)) {}
    uint64_t Size() const override { return data_.size(); }
    uint64_t Tell() const override { return position_; }
    void Seek(uint64_t position) override { position_ = position; }
    size_t Read(uint8_t* out, size_t size) override;

  private:
    Bytes data_;
    uint64_t position_ = 0;
};

}  // namespace pst
