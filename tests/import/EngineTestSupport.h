#pragma once
// Helpers shared by the import engine tests: the run log read back without its time stamps, and a
// progress sink that records what was reported.

#include <string>
#include <vector>

#include "runtime/ImportProgress.h"
#include "tests/support/TestSupport.h"

namespace EngineTest {

// Opens a run log in a scratch directory for the life of the object.
class CapturedLog {
  public:
    CapturedLog();
    ~CapturedLog();
    // The messages logged so far, without their "date time [thread]: " headers.
    std::vector<std::string> Lines() const;
    bool Contains(const std::string& line) const;

  private:
    TestSupport::TempDir directory_;
};

// Records what was reported and, as the front ends do, appends it to the job's problem list.
class RecordingProgress : public IImportProgress {
  public:
    void BeginAccount(const std::string&) override {}
    void ReportError(const std::string& message) override;
    void ReportWarning(const std::string& message) override;
    void SetTotal(int64_t) override {}
    void Step() override {}
    void SetDone(int64_t) override {}
    void Finished() override {}
    void SetStatus(const std::string&) override {}

    std::vector<std::string> errors;
    std::vector<std::string> warnings;
};

}  // namespace EngineTest
