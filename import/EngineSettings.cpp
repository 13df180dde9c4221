#include "import/EngineSettings.h"

#include <optional>

namespace {

constexpr uint32_t mebibyte = 1024 * 1024;
// From this many mebibytes on the limit would not fit the 32-bit comparison: no limit.
constexpr uint32_t unlimitedFromMebibytes = 4096;

uint32_t SizeLimitFromMebibytes(uint32_t mebibytes) {
    return mebibytes >= unlimitedFromMebibytes ? 0 : mebibytes * mebibyte;
}

}  // namespace

EngineSettings& GetEngineSettings() {
    static EngineSettings settings;
    return settings;
}

void ReadEngineSettings(const SettingsStore& store, ImportParams& params) {
    if (std::optional<uint32_t> threshold = store.ReadDword(engineSettingsKey, "ErrorThreshold")) {
        params.errorThreshold = static_cast<int32_t>(*threshold);
    }
    if (std::optional<uint32_t> useRtf = store.ReadDword(engineSettingsKey, "usertf")) {
        params.useRtf = static_cast<int32_t>(*useRtf);
    }
    if (std::optional<uint32_t> size = store.ReadDword(engineSettingsKey, "MaxAttachSizeMB")) {
        GetEngineSettings().itemSizeLimit = SizeLimitFromMebibytes(*size);
    }
}

bool NoBatchSetting() {
    static const bool noBatch =
        SettingsStore::User().ReadDword(engineSettingsKey, "nobatch").value_or(0) != 0;
    return noBatch;
}
