#include "import/ImportStatistics.h"

#include <algorithm>
#include <chrono>

#include "runtime/Log.h"

namespace {

constexpr int64_t ticksPerSecond = 10'000'000;
constexpr int64_t ticksPerMillisecond = 10'000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t unixEpochSeconds = 11'644'473'600;

constexpr const char* rule = "(MI): -------------------------------------------";

int64_t Quotient(int64_t dividend, int64_t divisor) {
    return divisor == 0 ? 0 : dividend / divisor;
}

// The lines from the import duration to the slowest batch, shared by both blocks.
void LogDerivedFigures(const ImportStatistics& stats, FileTimeTicks end) {
    int64_t seconds = std::max<int64_t>(0, (end - stats.startTime) / ticksPerSecond);
    LogLine("(MI):     Import duration              : %d seconds", static_cast<int>(seconds));
    LogLine("(MI):     Import Throughput            : %d msgs/sec",
            static_cast<int>(Quotient(stats.itemsAttempted, seconds)));
    LogLine("(MI):     Total data bytes transferred : %s bytes", std::to_string(stats.totalBytes).c_str());
    LogLine("(MI):     Data throughput              : %d bits/sec",
            static_cast<int>(Quotient(stats.totalBytes, seconds) * 8));
    LogLine("(MI):     Number of batches            : %d batches", stats.batches);
    LogLine("(MI):     Avg num items per  batch     : %d items",
            static_cast<int>(Quotient(stats.itemsAttempted, stats.batches)));
    LogLine("(MI):     Min num items in a batch     : %d items", stats.smallestBatchItems);
    LogLine("(MI):     Max num items in a batch     : %d items", stats.largestBatchItems);
    LogLine("(MI):     Avg bytes per  batch         : %s bytes",
            std::to_string(Quotient(stats.totalBytes, stats.batches)).c_str());
    LogLine("(MI):     Min bytes in a batch         : %d bytes", stats.smallestBatchBytes);
    LogLine("(MI):     Max bytes in a batch         : %d bytes", stats.largestBatchBytes);
    LogLine("(MI):     Quickest batch request       : %d ms",
            static_cast<int>(stats.quickestBatch / ticksPerMillisecond));
    LogLine("(MI):     Slowest  batch request       : %d ms",
            static_cast<int>(stats.slowestBatch / ticksPerMillisecond));
}

// Keeps the smaller value, where 0 means "none yet".
template <typename T>
void KeepSmallest(T& smallest, T value) {
    if (smallest == 0 || value < smallest) {
        smallest = value;
    }
}

}  // namespace

FileTimeTicks FileTimeNow() {
    auto sinceUnixEpoch = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(sinceUnixEpoch).count() / 100 +
           unixEpochSeconds * ticksPerSecond;
}

void ImportStatistics::RecordBatch(FileTimeTicks elapsed, int32_t bytes) {
    slowestBatch = std::max(slowestBatch, elapsed);
    KeepSmallest(quickestBatch, elapsed);
    totalBytes += bytes;
    KeepSmallest(smallestBatchBytes, bytes);
    largestBatchBytes = std::max(largestBatchBytes, bytes);
    KeepSmallest(smallestBatchItems, itemsInCurrentBatch);
    largestBatchItems = std::max(largestBatchItems, itemsInCurrentBatch);
    itemsInCurrentBatch = 0;
}

void LogItemPassStatistics(const ImportStatistics& stats, const std::string& sourceName,
                           const std::string& destinationName) {
    LogLine("%s", rule);
    LogLine("%s", rule);
    LogLine("(MI):     Import stats for ");
    LogLine("%s", rule);
    if (!sourceName.empty()) {
        LogLine("(MI):     Source Acct:%s", sourceName.c_str());
    }
    if (!destinationName.empty()) {
        LogLine("(MI):     Tarvik Acct:%s", destinationName.c_str());
    }
    LogLine("%s", rule);
    LogLine("%s", rule);
    LogLine("(MI):     Number of items attempted    : %d items", stats.itemsAttempted);
    LogLine("(MI):     Number of items skipped      : %d items", stats.itemsSkipped);
    LogDerivedFigures(stats, stats.endTime);
}

void LogOverallStatistics(const ImportStatistics& stats, const std::vector<ProblemRecord>& problems,
                          FileTimeTicks now) {
    auto count = [&problems](ProblemKind kind) {
        return static_cast<int>(std::count_if(problems.begin(), problems.end(),
                                              [kind](const ProblemRecord& p) { return p.kind == kind; }));
    };
    LogLine("%s", rule);
    LogLine("%s", rule);
    LogLine("(MI):     Import stats");
    LogLine("%s", rule);
    LogLine("%s", rule);
    LogLine("(MI):     Number of items attempted    : %d items", stats.itemsAttempted);
    LogLine("(MI):     Number of Errors             : %d", count(ProblemKind::Error));
    LogLine("(MI):     Number of Warnings           : %d", count(ProblemKind::Warning));
    LogDerivedFigures(stats, now);
}
