#pragma once
// The progress sink of the console run, one per PST file, alive while its worker runs. It counts
// errors and warnings, keeps every reported message in ImportParams::problems, and shows the
// "Overall Progress: <done> of <total> (<percent>%)" line with its bar, and the error and warning
// totals, on a ConsoleScreen. When the job ends, the closing text ("PST Import Complete" or "PST
// Import had Errors or Warnings", with the totals) is logged and, once the display is closed,
// printed. Safe to call from any thread.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "import/console/ConsoleScreen.h"
#include "runtime/ImportParams.h"
#include "runtime/ImportProgress.h"

class CmdLineStatus final : public IImportProgress {
  public:
    CmdLineStatus(ImportParams& params, std::unique_ptr<ConsoleScreen> screen);
    // Closes the display and prints the closing text.
    ~CmdLineStatus() override;

    void BeginAccount(const std::string& accountName) override;
    void ReportError(const std::string& message) override;
    void ReportWarning(const std::string& message) override;
    void SetTotal(int64_t count) override;
    void Step() override;
    void SetDone(int64_t count) override;
    void Finished() override;
    void SetStatus(const std::string& text) override;

    int32_t Errors() const { return errors_; }
    int32_t Warnings() const { return warnings_; }

    // done * 100 / total, truncated, within 0-100; 100 when total is 0.
    static int Percent(int64_t done, int64_t total);

  private:
    void DrawProgress();
    void DrawCount(ScreenLine which);
    void Record(ProblemKind kind, const std::string& message);

    ImportParams& params_;
    std::atomic<int32_t> errors_{0};
    std::atomic<int32_t> warnings_{0};
    int64_t done_ = 0;
    int64_t total_ = 0;
    std::mutex screenLock_;    // the display and the done and total counts
    std::mutex problemsLock_;  // appends to params_.problems
    std::unique_ptr<ConsoleScreen> screen_;
    std::string closingText_;
};
