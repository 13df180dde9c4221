#include "import/WorkerGuard.h"

#include <exception>

#include "import/ImportWorker.h"
#include "runtime/FaultGuard.h"
#include "runtime/Log.h"
#include "runtime/Text.h"

namespace {

// Passes everything on to the front end's sink and notes whether the job's end was announced, so
// that the crash handler announces it exactly once.
class FinishTracker final : public IImportProgress {
  public:
    explicit FinishTracker(IImportProgress* sink) : sink_(sink) {}
    void BeginAccount(const std::string& accountName) override { sink_->BeginAccount(accountName); }
    void ReportError(const std::string& message) override { sink_->ReportError(message); }
    void ReportWarning(const std::string& message) override { sink_->ReportWarning(message); }
    void SetTotal(int64_t count) override { sink_->SetTotal(count); }
    void Step() override { sink_->Step(); }
    void SetDone(int64_t count) override { sink_->SetDone(count); }
    void Finished() override {
        finished_ = true;
        sink_->Finished();
    }
    void SetStatus(const std::string& text) override { sink_->SetStatus(text); }

    bool HasFinished() const { return finished_; }

  private:
    IImportProgress* sink_;
    volatile bool finished_ = false;  // read after a fault abandoned the worker
};

// One step of the crash handler; its failure is logged and never stops the steps after it.
template <typename Action>
void Step(const char* what, const Action& action) noexcept {
    try {
        action();
    } catch (const std::exception& error) {
        LogLine("**Warning**: Failed while %s: %s", what, error.what());
    } catch (...) {
        LogLine("**Warning**: Failed while %s", what);
    }
}

void EndCrashedJob(ImportParams& params, IImportSource& source, IImportEngine& engine,
                   FinishTracker& progress) {
    Step("reporting the crash", [&] { progress.ReportError(LookupText("ERR_UNKNOWN_APP_EXCEPTION")); });
    Step("logging the statistics", [&] { engine.LogOverallStatistics(); });
    if (!params.tempProfileName.empty() && params.profileName == params.tempProfileName) {
        Step("deleting the temporary profile", [&] { source.DeleteProfile(params.tempProfileName); });
    }
    LogLine("Worker thread exiting");
    if (!progress.HasFinished()) {
        Step("reporting the end of the job", [&] { progress.Finished(); });
    }
}

}  // namespace

int RunGuardedImportWorker(ImportParams& params, IImportSource& source, IImportEngine& engine) {
    IImportProgress* frontEnd = params.progress;
    SilentProgress silent;
    FinishTracker progress(frontEnd != nullptr ? frontEnd : &silent);
    params.progress = &progress;
    if (RunGuarded([&] { ImportWorker(params, source, engine); })) {
        EndCrashedJob(params, source, engine, progress);
    }
    params.progress = frontEnd;
    return 0;
}
