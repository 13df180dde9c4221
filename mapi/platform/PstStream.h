#pragma once
// IStream over a stream of the PST library: property values and attachment data read block by
// block. Damaged data ends a Read with MAPI_E_CORRUPT_DATA.

#include <memory>

#include "mapi/platform/MapiInterfaces.h"
#include "pst/Stream.h"

namespace mapipst {

class PstStream : public IStream {
  public:
    explicit PstStream(std::unique_ptr<pst::ByteStream> stream) : stream_(std::move(stream)) {}

    HRESULT Read(void* buffer, uint32_t size, uint32_t* read) override;
    HRESULT Seek(int64_t move, uint32_t origin, uint64_t* newPosition) override;
    HRESULT Stat(STATSTG& stat, uint32_t flags) override;

  private:
    std::unique_ptr<pst::ByteStream> stream_;
};

std::unique_ptr<IStream> MemoryIStream(std::string bytes);

}  // namespace mapipst
