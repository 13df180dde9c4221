#include "import/ImportStatistics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/import/EngineTestSupport.h"

namespace {

constexpr FileTimeTicks second = 10'000'000;
constexpr FileTimeTicks millisecond = 10'000;

std::vector<std::string> Header(const std::string& title) {
    const std::string rule = "(MI): -------------------------------------------";
    return {rule, rule, title, rule};
}

TEST(ImportStatisticsTest, ItemPassBlockWithBatches) {
    EngineTest::CapturedLog log;
    ImportStatistics stats;
    stats.startTime = 1000 * second;
    stats.endTime = stats.startTime + 10 * second + 9 * second / 10;  // 10.9 s: 10 seconds
    stats.itemsAttempted = 5;
    stats.itemsInCurrentBatch = 3;
    stats.RecordBatch(250 * millisecond, 60000);
    stats.itemsInCurrentBatch = 2;
    stats.RecordBatch(40 * millisecond, 1000);
    stats.itemsSkipped = 7;
    stats.batches = 2;
    LogItemPassStatistics(stats, "mail", "user@example.com");

    std::vector<std::string> expected = Header("(MI):     Import stats for");
    std::vector<std::string> rest = {
        "(MI):     Source Acct:mail",
        "(MI):     Tarvik Acct:user@example.com",
        "(MI): -------------------------------------------",
        "(MI): -------------------------------------------",
        "(MI):     Number of items attempted    : 5 items",
        "(MI):     Number of items skipped      : 7 items",
        "(MI):     Import duration              : 10 seconds",
        "(MI):     Import Throughput            : 0 msgs/sec",
        "(MI):     Total data bytes transferred : 61000 bytes",
        "(MI):     Data throughput              : 48800 bits/sec",
        "(MI):     Number of batches            : 2 batches",
        "(MI):     Avg num items per  batch     : 2 items",
        "(MI):     Min num items in a batch     : 2 items",
        "(MI):     Max num items in a batch     : 3 items",
        "(MI):     Avg bytes per  batch         : 30500 bytes",
        "(MI):     Min bytes in a batch         : 1000 bytes",
        "(MI):     Max bytes in a batch         : 60000 bytes",
        "(MI):     Quickest batch request       : 40 ms",
        "(MI):     Slowest  batch request       : 250 ms",
    };
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_EQ(log.Lines(), expected);
}

TEST(ImportStatisticsTest, QuickPassWithoutBatchesPrintsZerosAndLeavesOutEmptyNames) {
    EngineTest::CapturedLog log;
    ImportStatistics stats;
    stats.startTime = 1000 * second;
    stats.endTime = stats.startTime + second / 2;
    LogItemPassStatistics(stats, "", "");
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[4], "(MI): -------------------------------------------");
    EXPECT_EQ(lines[8], "(MI):     Import duration              : 0 seconds");
    EXPECT_EQ(lines[9], "(MI):     Import Throughput            : 0 msgs/sec");
    EXPECT_EQ(lines[11], "(MI):     Data throughput              : 0 bits/sec");
    EXPECT_EQ(lines[13], "(MI):     Avg num items per  batch     : 0 items");
    EXPECT_EQ(lines[16], "(MI):     Avg bytes per  batch         : 0 bytes");
}

TEST(ImportStatisticsTest, OverallBlockCountsEveryProblemUpToNow) {
    EngineTest::CapturedLog log;
    ImportStatistics stats;
    stats.startTime = 1000 * second;
    stats.itemsAttempted = 40;
    stats.batches = 2;
    std::vector<ProblemRecord> problems = {{ProblemKind::Error, "a", "first attempt"},
                                           {ProblemKind::Warning, "a", "w"},
                                           {ProblemKind::Error, "a", "second attempt"}};
    LogOverallStatistics(stats, problems, stats.startTime + 20 * second);
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[2], "(MI):     Import stats");
    EXPECT_EQ(lines[5], "(MI):     Number of items attempted    : 40 items");
    EXPECT_EQ(lines[6], "(MI):     Number of Errors             : 2");
    EXPECT_EQ(lines[7], "(MI):     Number of Warnings           : 1");
    EXPECT_EQ(lines[8], "(MI):     Import duration              : 20 seconds");
    EXPECT_EQ(lines[9], "(MI):     Import Throughput            : 2 msgs/sec");
    EXPECT_EQ(lines[12], "(MI):     Number of batches            : 2 batches");
    EXPECT_EQ(lines[13], "(MI):     Avg num items per  batch     : 20 items");
}

}  // namespace
