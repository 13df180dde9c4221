#pragma once
// The progress sink of a running import job, implemented by the console run and the wizard's status
// page. Messages arrive already formatted (localised texts go through FormatText). Implementations
// guard their counters and problem list with their own lock: the worker thread reports while the
// front end reads.

#include <cstdint>
#include <string>

enum class ProblemKind : int32_t { Error = 0, Warning = 1 };

// One reported error or warning, kept for the completion summary.
struct ProblemRecord {
    ProblemKind kind = ProblemKind::Error;
    std::string account;  // the account shown when it was reported
    std::string message;
};

class IImportProgress {
public:
    virtual ~IImportProgress() = default;
    // A job for this account starts: show the name, reset the error, warning, done and total counters.
    virtual void BeginAccount(const std::string& accountName) = 0;
    // Counts one error (warning) and appends a ProblemRecord to ImportParams::problems.
    virtual void ReportError(const std::string& message) = 0;
    virtual void ReportWarning(const std::string& message) = 0;
    // Number of items the scan will visit; one more done; the number done.
    virtual void SetTotal(int64_t count) = 0;
    virtual void Step() = 0;
    virtual void SetDone(int64_t count) = 0;
    // The job's worker ends; called exactly once per job, also after a crash.
    virtual void Finished() = 0;
    // Short text of the current phase.
    virtual void SetStatus(const std::string& text) = 0;
};

// A sink that shows nothing: for a job started without one, so that it still runs and logs.
class SilentProgress final : public IImportProgress {
public:
    void BeginAccount(const std::string&) override {}
    void ReportError(const std::string&) override {}
    void ReportWarning(const std::string&) override {}
    void SetTotal(int64_t) override {}
    void Step() override {}
    void SetDone(int64_t) override {}
    void Finished() override {}
    void SetStatus(const std::string&) override {}
};
