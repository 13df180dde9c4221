#pragma once
// The import engine's settings from the settings store (key "Software\Tarvik"), as start-up reads
// them: "ErrorThreshold" (default 3; 0: no error limit) and "usertf" (default 1) go into the job
// record; "MaxAttachSizeMB" becomes the item size limit here; "nobatch" is read on first use.

#include <cstdint>

#include "runtime/ImportParams.h"
#include "runtime/SettingsStore.h"

inline constexpr const char* engineSettingsKey = "Software\\Tarvik";

struct EngineSettings {
    // Items (and their MIME texts) larger than this many bytes are skipped; 0 means no limit.
    // Compared as unsigned 32-bit numbers.
    uint32_t itemSizeLimit = 10 * 1024 * 1024;
};

// The process-wide settings, filled by ReadEngineSettings at start-up.
EngineSettings& GetEngineSettings();

// Reads ErrorThreshold and usertf into `params` and MaxAttachSizeMB into GetEngineSettings():
// a value below 4096 gives that many mebibytes, 0 or 4096 and more give no limit, a missing value
// 10 MiB. A missing value keeps the default.
void ReadEngineSettings(const SettingsStore& store, ImportParams& params);

// The "nobatch" setting of the user's store (every item is then sent on its own): read on the
// first call and kept for the life of the process; missing means false.
bool NoBatchSetting();
