#include "import/console/CmdLineStatus.h"

#include <fmt/printf.h>

#include <algorithm>

#include "runtime/Log.h"
#include "runtime/Text.h"

CmdLineStatus::CmdLineStatus(ImportParams& params, std::unique_ptr<ConsoleScreen> screen)
    : params_(params), screen_(std::move(screen)) {}

CmdLineStatus::~CmdLineStatus() {
    std::lock_guard lock(screenLock_);
    screen_->Close(closingText_);
}

int CmdLineStatus::Percent(int64_t done, int64_t total) {
    if (total <= 0) {
        return 100;
    }
    return static_cast<int>(std::clamp<int64_t>(done * 100 / total, 0, 100));
}

void CmdLineStatus::BeginAccount(const std::string&) {
    errors_ = 0;
    warnings_ = 0;
    std::lock_guard lock(screenLock_);
    done_ = total_ = 0;
    screen_->RemoveBar();
    DrawProgress();
    DrawCount(ScreenLine::Errors);
    DrawCount(ScreenLine::Warnings);
}

void CmdLineStatus::ReportError(const std::string& message) {
    ++errors_;
    {
        std::lock_guard lock(screenLock_);
        DrawCount(ScreenLine::Errors);
    }
    Record(ProblemKind::Error, message);
}

void CmdLineStatus::ReportWarning(const std::string& message) {
    ++warnings_;
    {
        std::lock_guard lock(screenLock_);
        DrawCount(ScreenLine::Warnings);
    }
    Record(ProblemKind::Warning, message);
}

void CmdLineStatus::SetTotal(int64_t count) {
    std::lock_guard lock(screenLock_);
    total_ = count;
}

void CmdLineStatus::Step() {
    std::lock_guard lock(screenLock_);
    ++done_;
    DrawProgress();
}

void CmdLineStatus::SetDone(int64_t count) {
    std::lock_guard lock(screenLock_);
    done_ = count;
    DrawProgress();
}

void CmdLineStatus::Finished() {
    int32_t errors = errors_;
    int32_t warnings = warnings_;
    std::string text = FormatText(errors != 0 || warnings != 0 ? "INFO_ERR_WARN" : "INFO_IMPORT_COMPLETED",
                                  errors, warnings);
    LogLine("\n%s", text.c_str());
    std::lock_guard lock(screenLock_);
    closingText_ = text;
}

void CmdLineStatus::SetStatus(const std::string& text) {
    LogLine("%s", text.c_str());
}

void CmdLineStatus::DrawProgress() {
    int percent = Percent(done_, total_);
    screen_->ShowProgress(percent, LookupText("INFO_OVERALL_PROGRESS") +
                                       fmt::sprintf("%6d of %6d (%3d%c)", done_, total_, percent, '%'));
}

void CmdLineStatus::DrawCount(ScreenLine which) {
    bool errors = which == ScreenLine::Errors;
    screen_->ShowLine(which, LookupText(errors ? "INFO_TOTAL_ERRORS" : "INFO_TOTAL_WARNINGS") +
                                 fmt::sprintf("%3d", errors ? errors_.load() : warnings_.load()));
}

void CmdLineStatus::Record(ProblemKind kind, const std::string& message) {
    std::lock_guard lock(problemsLock_);
    params_.problems.push_back({kind, "", message});
}
