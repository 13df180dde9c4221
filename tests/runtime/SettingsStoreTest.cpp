#include <gtest/gtest.h>

#include "runtime/SettingsStore.h"
#include "tests/support/TestSupport.h"

namespace {

using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

TEST(SettingsStore, TypedValuesRoundTripAndMissingKeyDiffersFromMissingValue) {
    TempDir dir;
    SettingsStore store(dir / "sub" / "registry.ini");
    EXPECT_FALSE(store.HasKey("Software\\Tarvik"));
    store.WriteDword("Software\\Tarvik", "ErrorThreshold", 0xFFFFFFFF);
    store.WriteString("Software\\Tarvik\\PSTMigration", "Server", "a \"quoted\" \\ text é\r\nline two");
    store.WriteBinary("Software\\Tarvik", "Blob", std::string("\0\x01\xff", 3));
    EXPECT_TRUE(store.HasKey("software\\TARVIK"));
    EXPECT_EQ(store.ReadDword("Software\\Tarvik", "errorthreshold"), 0xFFFFFFFFu);
    EXPECT_EQ(store.ReadString("Software\\Tarvik\\PSTMigration", "Server"), "a \"quoted\" \\ text é\r\nline two");
    EXPECT_EQ(store.ReadBinary("Software\\Tarvik", "Blob"), std::string("\0\x01\xff", 3));
    EXPECT_FALSE(store.ReadDword("Software\\Tarvik", "Missing"));
    EXPECT_FALSE(store.ReadString("Software\\Tarvik", "ErrorThreshold")) << "wrong type reads as missing";
    store.WriteDword("Software\\Tarvik", "ErrorThreshold", 7);
    EXPECT_EQ(store.ReadDword("Software\\Tarvik", "ErrorThreshold"), 7u);
    store.DeleteValue("Software\\Tarvik", "ErrorThreshold");
    EXPECT_FALSE(store.ReadDword("Software\\Tarvik", "ErrorThreshold"));
    store.DeleteKey("Software\\Tarvik");
    EXPECT_FALSE(store.HasKey("Software\\Tarvik\\PSTMigration"));
}

TEST(SettingsStore, SubKeysListsEachChildOnceEvenWhenOnlyDeeperKeysExist) {
    TempDir dir;
    SettingsStore store(dir / "registry.ini");
    store.WriteString("Profiles\\One", "Name", "1");
    store.WriteDword("Profiles\\Two\\0a0d", "V", 1);
    store.WriteDword("profiles\\ONE\\svc", "V", 1);
    store.WriteDword("ProfilesElsewhere\\Three", "V", 1);
    EXPECT_EQ(store.SubKeys("Profiles"), (std::vector<std::string>{"One", "Two"}));
    EXPECT_TRUE(store.SubKeys("Missing").empty());
}

TEST(SettingsStore, HandEditedFileKeepsCommentsAndSurvivesBrokenLines) {
    TempDir dir;
    WriteFile(dir / "registry.ini",
              "; my settings\n[Software\\Tarvik]\n\"WConnectTimeout\"=dword:0000000a\n"
              "\"Broken\"=dword:xyz\n\"nobatch\"=dword:1\n");
    SettingsStore store(dir / "registry.ini");
    EXPECT_EQ(store.ReadDword("Software\\Tarvik", "WConnectTimeout"), 10u);
    EXPECT_FALSE(store.ReadDword("Software\\Tarvik", "Broken"));
    store.WriteDword("Software\\Tarvik", "nobatch", 0);
    EXPECT_EQ(ReadFile(dir / "registry.ini"),
              "; my settings\n[Software\\Tarvik]\n\"WConnectTimeout\"=dword:0000000a\n"
              "\"Broken\"=dword:xyz\n\"nobatch\"=dword:00000000\n");
}

TEST(SettingsStore, UnwritableFileIsReportedByName) {
    SettingsStore store("/proc/tvk-no-such/registry.ini");
    EXPECT_FALSE(store.ReadDword("Software\\Tarvik", "x"));
    try {
        store.WriteDword("Software\\Tarvik", "x", 1);
        FAIL() << "expected a failure";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("/proc/tvk-no-such/registry.ini"), std::string::npos);
    }
}

}  // namespace
