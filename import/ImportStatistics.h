#pragma once
// The counters of one item pass and the two statistics blocks of the log that support staff read to
// judge an import: the adder's block after every item pass, and the job's overall block when the
// worker gives up. Written by the worker thread only.

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/ImportProgress.h"

// 100-nanosecond ticks since 1601-01-01 UTC (a file time).
using FileTimeTicks = int64_t;
FileTimeTicks FileTimeNow();

class ImportStatistics {
  public:
    FileTimeTicks startTime = 0;
    FileTimeTicks endTime = 0;
    FileTimeTicks quickestBatch = 0;  // 0: none yet
    FileTimeTicks slowestBatch = 0;
    int32_t smallestBatchBytes = 0;  // 0: none yet
    int32_t largestBatchBytes = 0;
    int32_t smallestBatchItems = 0;  // 0: none yet
    int32_t largestBatchItems = 0;
    int32_t itemsInCurrentBatch = 0;
    int64_t totalBytes = 0;
    int32_t itemsAttempted = 0;
    int32_t batches = 0;
    int32_t itemsSkipped = 0;

    // Counts one executed batch of `bytes` MIME bytes that took `elapsed`, then starts counting the
    // next batch's items afresh.
    void RecordBatch(FileTimeTicks elapsed, int32_t bytes);
};

// The adder's block, ending at stats.endTime. An empty source or destination name leaves its line out.
void LogItemPassStatistics(const ImportStatistics& stats, const std::string& sourceName,
                           const std::string& destinationName);

// The job's overall block: the counters of `stats` up to `now`, with the errors and warnings of every
// attempt from `problems`.
void LogOverallStatistics(const ImportStatistics& stats, const std::vector<ProblemRecord>& problems,
                          FileTimeTicks now);
