#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

#include "runtime/ImportParams.h"
#include "runtime/Log.h"
#include "runtime/Utf8.h"
#include "tests/support/TestSupport.h"

namespace {

using TestSupport::ReadFile;
using TestSupport::TempDir;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "the log must end with a line break";
    return lines;
}

class LogTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(OpenLogFile((dir / "run.log").string())); }
    void TearDown() override { CloseLogFile(); }
    std::string Content() const { return ReadFile(dir / "run.log"); }
    TempDir dir;
};

TEST_F(LogTest, LineHasHeaderAndOneLineBreakWithoutTrailingBlanks) {
    LogLine("(MI): added %d of %s  \n\n", 3, "Inbox");
    LogLine("trailing tab\t");
    auto lines = Lines(Content());
    ASSERT_EQ(lines.size(), 2u);
    std::regex header(R"(^\d{2}-\d{2}-\d{4} \d{2}:\d{2}:\d{2} \[ *\d{3,}\]: )");
    EXPECT_TRUE(std::regex_search(lines[0], header)) << lines[0];
    EXPECT_TRUE(lines[0].ends_with("]: (MI): added 3 of Inbox")) << lines[0];
    EXPECT_TRUE(lines[1].ends_with("]: trailing tab")) << lines[1];
}

TEST_F(LogTest, LongMessageIsCutNotSplitAndNeverInsideACharacter) {
    std::string longText;
    for (int i = 0; i < 7000; ++i)
        longText += "é";
    LogLine("%s", longText.c_str());
    auto lines = Lines(Content());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(Utf8::CodePointCount(lines[0]) + 1, LogLineCapacity);
    EXPECT_TRUE(Utf8::IsValid(lines[0]));
}

TEST_F(LogTest, LinesOfManyThreadsNeverInterleave) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                LogLine("thread %d line %d %s", t, i, std::string(100, 'x').c_str());
        });
    }
    for (auto& thread : threads)
        thread.join();
    auto lines = Lines(Content());
    ASSERT_EQ(lines.size(), 800u);
    std::regex whole(R"(\]: thread \d line \d+ x{100}$)");
    for (const auto& line : lines)
        ASSERT_TRUE(std::regex_search(line, whole)) << line;
}

TEST(LogWithoutFile, LinesAreDroppedSilently) {
    CloseLogFile();
    LogLine("nobody sees %s", "this");
    EXPECT_EQ(LogFilePath(), "");
}

TEST(LogWithoutFile, OpeningAnUnwritablePathFailsAndLeavesTheLogClosed) {
    EXPECT_FALSE(OpenLogFile("/nonexistent-dir/run.log"));
    EXPECT_EQ(LogFilePath(), "");
}

TEST(LogFileName, CarriesBaseNameDateAndTimeAndTwoUnderscoresWithoutName) {
    struct tm when {};
    when.tm_year = 2026 - 1900, when.tm_mon = 2, when.tm_mday = 7, when.tm_hour = 9, when.tm_min = 5,
    when.tm_sec = 4;
    when.tm_isdst = -1;
    time_t stamp = mktime(&when);
    EXPECT_EQ(LogFileName("/w", "mail", stamp), "/w/PstImportWiz_mail_03072026_090504.log");
    EXPECT_EQ(LogFileName("/w", "", stamp), "/w/PstImportWiz__03072026_090504.log");
}

TEST(NameLogFile, OpensTheRunsLogAndListsItFirstUnlessItCannotBeOpened) {
    TempDir dir;
    ImportParams params;
    params.workDirectory = dir.Path().string();
    params.pstBaseName = "anna";
    time_t before = time(nullptr);
    ASSERT_TRUE(NameLogFile(params));
    time_t after = time(nullptr);
    LogLine("first line");
    ASSERT_EQ(params.logFiles.size(), 1u);
    const std::string& path = params.logFiles[0];
    EXPECT_EQ(LogFilePath(), path);
    EXPECT_TRUE(path == LogFileName(params.workDirectory, "anna", before) ||
                path == LogFileName(params.workDirectory, "anna", after))
        << path;
    EXPECT_NE(ReadFile(path).find("]: first line\n"), std::string::npos);

    params.workDirectory = (dir / "missing").string();
    EXPECT_FALSE(NameLogFile(params));
    EXPECT_EQ(params.logFiles.size(), 1u);
    CloseLogFile();
}

}  // namespace
