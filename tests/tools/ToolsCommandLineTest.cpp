// pstgen and pstdump as users run them: their output, and clear failures with a non-zero status.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/TestSupport.h"

namespace {

std::string Tool(const std::string& name) {
    return name == "pstgen" ? PSTGEN_PATH : PSTDUMP_PATH;
}

TEST(PstTools, GenerateThenDump) {
    TestSupport::TempDir dir;
    const std::string out = (dir / "fixture.pst").string();
    auto gen = TestSupport::RunCommand(
        {Tool("pstgen"), (TestSupport::SourceDir() / "tests/pst/fixtures/mailbox.json").string(), out});
    ASSERT_EQ(gen.exitCode, 0) << gen.err;

    auto dump = TestSupport::RunCommand({Tool("pstdump"), out});
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_NE(dump.out.find("format: Unicode PST, encryption permute"), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("Inbox [nid 0x8082]: 4 items, IPM.Note 4, 1 associated"), std::string::npos)
        << dump.out;
    EXPECT_NE(dump.out.find("Contacts [nid 0x8102]: 2 items, IPM.Contact 1, IPM.DistList 1"),
              std::string::npos);
    EXPECT_NE(dump.out.find("Saved search [nid 0x8023] (search folder)"), std::string::npos);

    auto json = TestSupport::RunCommand({Tool("pstdump"), "--json", out});
    ASSERT_EQ(json.exitCode, 0);
    auto parsed = nlohmann::json::parse(json.out);
    EXPECT_EQ(parsed["encryption"], "permute");
    EXPECT_EQ(parsed["problems"], 0);

    auto item = TestSupport::RunCommand({Tool("pstdump"), "--item", "0x200024", out});
    ASSERT_EQ(item.exitCode, 0) << item.err;
    auto message = nlohmann::json::parse(item.out);
    EXPECT_EQ(message["properties"]["0x0037001F PR_SUBJECT"], "Quarterly report");
    EXPECT_EQ(message["recipients"].size(), 2u);
    EXPECT_EQ(message["attachments"].size(), 3u);
}

TEST(PstTools, FailuresNameTheFileAndExitNonZero) {
    TestSupport::TempDir dir;
    TestSupport::WriteFile(dir / "mbox.pst", "From someone\n");
    auto notPst = TestSupport::RunCommand({Tool("pstdump"), (dir / "mbox.pst").string()});
    EXPECT_EQ(notPst.exitCode, 1);
    EXPECT_NE(notPst.err.find((dir / "mbox.pst").string() + ": not a PST file"), std::string::npos)
        << notPst.err;

    auto missing = TestSupport::RunCommand({Tool("pstdump"), (dir / "nothing.pst").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << missing.err;

    TestSupport::WriteFile(dir / "bad.json",
                           R"({"folders": [{"name": "Inbox", "messages": [{"sent": "yesterday"}]}]})");
    auto bad =
        TestSupport::RunCommand({Tool("pstgen"), (dir / "bad.json").string(), (dir / "out.pst").string()});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("not an ISO date: yesterday"), std::string::npos) << bad.err;

    EXPECT_EQ(TestSupport::RunCommand({Tool("pstdump")}).exitCode, 2);
}

}  // namespace
