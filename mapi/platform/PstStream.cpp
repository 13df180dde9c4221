#include "mapi/platform/PstStream.h"

#include "mapi/platform/StoreContext.h"

namespace mapipst {

HRESULT PstStream::Read(void* buffer, uint32_t size, uint32_t* read) {
    try {
        size_t got = stream_->Read(static_cast<uint8_t*>(buffer), size);
        if (read != nullptr) {
            *read = static_cast<uint32_t>(got);
        }
        return S_OK;
    } catch (const std::exception& error) {
        if (read != nullptr) {
            *read = 0;
        }
        return ReportCorrupt(error, "reading a stream");
    }
}

HRESULT PstStream::Seek(int64_t move, uint32_t origin, uint64_t* newPosition) {
    int64_t base = 0;
    if (origin == STREAM_SEEK_CUR) {
        base = static_cast<int64_t>(stream_->Tell());
    } else if (origin == STREAM_SEEK_END) {
        base = static_cast<int64_t>(stream_->Size());
    } else if (origin != STREAM_SEEK_SET) {
        return MAPI_E_INVALID_PARAMETER;
    }
    if (base + move < 0) {
        return MAPI_E_INVALID_PARAMETER;
    }
    stream_->Seek(static_cast<uint64_t>(base + move));
    if (newPosition != nullptr) {
        *newPosition = stream_->Tell();
    }
    return S_OK;
}

HRESULT PstStream::Stat(STATSTG& stat, uint32_t) {
    stat.cbSize = stream_->Size();
    return S_OK;
}

std::unique_ptr<IStream> MemoryIStream(std::string bytes) {
    return std::make_unique<PstStream>(
        std::make_unique<pst::MemoryStream>(pst::Bytes(bytes.begin(), bytes.end())));
}

}  // namespace mapipst
