#include "import/ProgressLog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "runtime/ImportParams.h"
#include "tests/import/EngineTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

std::string Record(const std::string& key) {
    std::string length(4, '\0');
    length[0] = static_cast<char>(key.size());
    return length + key;
}

class ProgressLogTest : public ::testing::Test {
  protected:
    ProgressLogTest() {
        params.workDirectory = directory.Path();
        params.serverName = "tarvik.example.com";
        params.port = 80;
        params.targetAccount = "user@example.com";
        params.SetPstPath("/home/user/mail.pst");
    }

    std::string PathOf() const { return ProgressLog::PathFor(params, progressLogSalt, params.pstBaseName); }

    void Open(ProgressLog& log) { log.OpenForImport(params, progressLogSalt, params.pstBaseName); }

    TempDir directory;
    ImportParams params;
    EngineTest::CapturedLog runLog;
};

TEST_F(ProgressLogTest, FileNameDependsOnSourceServerPortAndAccountOnly) {
    EXPECT_EQ(PathOf(), params.workDirectory + "/57c506a80abe0c44726916032ed15c50_mail.status");
    std::string original = PathOf();

    params.SetPstPath("/elsewhere/mail.pst");
    params.adminPort = 9999;  // administrative sessions share the account-session record
    EXPECT_EQ(PathOf(), original);

    struct Change {
        const char* what;
        void (*apply)(ImportParams&);
    };
    for (Change change : {Change{"port", [](ImportParams& p) { p.port = 8080; }},
                          Change{"server", [](ImportParams& p) { p.serverName = "other.example.com"; }},
                          Change{"account", [](ImportParams& p) { p.targetAccount = "bob@example.com"; }}}) {
        ImportParams changed;
        changed.workDirectory = params.workDirectory;
        changed.serverName = params.serverName;
        changed.port = params.port;
        changed.targetAccount = params.targetAccount;
        changed.SetPstPath(params.pstPath);
        change.apply(changed);
        EXPECT_NE(ProgressLog::PathFor(changed, progressLogSalt, changed.pstBaseName), original)
            << change.what;
    }
}

TEST_F(ProgressLogTest, EachStoredKeyExcusesOneItemOnResume) {
    {
        ProgressLog log;
        Open(log);
        EXPECT_TRUE(log.ShouldImport("a"));  // an empty record skips nothing
        log.Append("a");
        log.Append("dup");
        log.Append("dup");
        log.Append("unmatched");
    }
    ProgressLog log;
    Open(log);
    EXPECT_FALSE(log.ShouldImport("a"));
    EXPECT_TRUE(log.ShouldImport("a"));
    EXPECT_FALSE(log.ShouldImport("dup"));
    EXPECT_FALSE(log.ShouldImport("dup"));
    EXPECT_TRUE(log.ShouldImport("dup"));
    EXPECT_TRUE(log.ShouldImport("new"));
    EXPECT_EQ(params.logFiles.back(), PathOf());
}

TEST_F(ProgressLogTest, WithoutResumeAnExistingRecordIsCleared) {
    WriteFile(PathOf(), Record("a"));
    params.ignorePreviouslyImported = false;
    ProgressLog log;
    Open(log);
    EXPECT_TRUE(log.ShouldImport("a"));
    EXPECT_EQ(std::filesystem::file_size(PathOf()), 0u);
    EXPECT_TRUE(runLog.Contains("Clearing original progress log"));
}

TEST_F(ProgressLogTest, CommittedRecordsAreOnDiskWhileTheLogIsOpen) {
    ProgressLog log;
    Open(log);
    log.Append("first");
    log.Append("second");
    EXPECT_EQ(ReadFile(PathOf()), "") << "appends wait for the batch to be reconciled";
    ASSERT_TRUE(log.Commit());
    EXPECT_EQ(ReadFile(PathOf()), Record("first") + Record("second"));
    struct stat status {};
    ASSERT_EQ(stat(PathOf().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(ProgressLogTest, RecordCutShortByACrashIsDroppedAndLaterRecordsStayReadable) {
    WriteFile(PathOf(), Record("kept") + Record("torn").substr(0, 6));
    {
        ProgressLog log;
        Open(log);
        EXPECT_FALSE(log.ShouldImport("kept"));
        EXPECT_TRUE(log.ShouldImport("torn"));
        log.Append("next");
    }
    EXPECT_EQ(ReadFile(PathOf()), Record("kept") + Record("next"));
}

TEST_F(ProgressLogTest, UnopenableFileSkipsNothingAndImportGoesOn) {
    params.workDirectory = (directory / "missing").string();
    ProgressLog log;
    Open(log);
    EXPECT_FALSE(log.IsOpen());
    log.Append("a");
    EXPECT_TRUE(log.Commit());
    EXPECT_TRUE(log.ShouldImport("a"));
}

TEST_F(ProgressLogTest, ProbeCountsRecords) {
    EXPECT_FALSE(ProgressLog::Probe(params));
    std::string records;
    for (int i = 0; i < 1500; ++i) {
        records += Record("key" + std::to_string(i));
    }
    WriteFile(PathOf(), records);
    std::optional<ProgressLog::ProbeResult> probe = ProgressLog::Probe(params);
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->records, 1500);
    EXPECT_EQ(probe->lastWrite.size(), std::string("12/31/2026, 23:59").size());
}

}  // namespace
