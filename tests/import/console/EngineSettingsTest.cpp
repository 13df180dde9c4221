// The engine's settings as start-up reads them from the settings store.

#include "import/EngineSettings.h"

#include <gtest/gtest.h>

#include <optional>

#include "tests/support/TestSupport.h"

namespace {

TEST(EngineSettings, StoredValuesReplaceTheDefaults) {
    TestSupport::TempDir dir;
    SettingsStore store(dir / "registry.ini");
    ImportParams params;
    GetEngineSettings() = EngineSettings();
    ReadEngineSettings(store, params);
    EXPECT_EQ(params.errorThreshold, 3);
    EXPECT_EQ(params.useRtf, 1);
    EXPECT_EQ(GetEngineSettings().itemSizeLimit, 10u * 1024 * 1024);

    store.WriteDword(engineSettingsKey, "ErrorThreshold", 0);
    store.WriteDword(engineSettingsKey, "usertf", 0);
    ReadEngineSettings(store, params);
    EXPECT_EQ(params.errorThreshold, 0) << "0 switches the error limit off";
    EXPECT_EQ(params.useRtf, 0);

    // Sizes that do not fit 32 bits in bytes mean no limit rather than a wrapped-around one.
    struct Case {
        uint32_t mebibytes;
        uint32_t limit;
    } cases[] = {{0, 0}, {1, 1024 * 1024}, {4095, 4095u * 1024 * 1024}, {4096, 0}, {100000, 0}};
    for (const Case& test : cases) {
        store.WriteDword(engineSettingsKey, "MaxAttachSizeMB", test.mebibytes);
        ReadEngineSettings(store, params);
        EXPECT_EQ(GetEngineSettings().itemSizeLimit, test.limit) << test.mebibytes;
    }
    GetEngineSettings() = EngineSettings();
}

}  // namespace
