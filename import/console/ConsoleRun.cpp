#include "import/console/ConsoleRun.h"

#include <exception>
#include <optional>

#include "import/WorkerGuard.h"
#include "import/console/AccountCheck.h"
#include "import/console/CmdLineStatus.h"
#include "import/console/ReadableFile.h"
#include "runtime/Log.h"
#include "runtime/Text.h"

namespace {

constexpr uint64_t kibibyte = 1024;

}  // namespace

ConsoleRun::ConsoleRun(ImportParams& params, ConfigXMLParser& parser, IImportBackend& backend,
                       const Console& console, PasswordReader readPassword, ScreenFactory screens)
    : params_(params),
      parser_(parser),
      backend_(backend),
      console_(console),
      readPassword_(std::move(readPassword)),
      screens_(std::move(screens)) {
    if (!screens_) {
        int fd = console_.OutFd();
        screens_ = [fd] { return OpenConsoleScreen(fd); };
    }
}

ConsoleRunResult ConsoleRun::Run() {
    ConsoleRunResult result;
    result.jobs = static_cast<int>(parser_.ImportCount());
    LogLine("Total accounts to be imported(import node): %d", result.jobs);
    for (size_t index = 0; index < parser_.ImportCount(); ++index) {
        if (!PrepareJob(index)) {
            result.jobsSkipped += 1;
            continue;
        }
        for (const std::string& path : parser_.PstPaths()) {
            result.files += 1;
            result.filesFailed += ImportFile(path) ? 0 : 1;
        }
    }
    if (!params_.logFiles.empty()) {
        console_.Print(FormatText("INFO_SEE_DETAILS", params_.logFiles.front()));
    }
    return result;
}

// Resets the job record and fills it from Import element `index`, then checks the account.
bool ConsoleRun::PrepareJob(size_t index) {
    ResetImportParams(params_);
    std::string error;
    if (!parser_.ReadImportNode(index, error)) {
        console_.Show(error);
        return false;
    }
    bool filled = parser_.FillImportParams(params_, readPassword_, error);
    if (!filled) {
        ShowJobProblem(error);
    }
    if (!filled || !AccountCheck(params_, console_).Run()) {
        LogLine("CheckFields failed!!!");
        return false;
    }
    return true;
}

void ConsoleRun::ShowJobProblem(const std::string& text) const {
    console_.Show(parser_.Path() + ": " + parser_.CurrentLabel() + ": " + text);
}

bool ConsoleRun::ImportFile(const std::string& path) {
    console_.Print("\n" + FormatText("INFO_PROCESSING", path) + "\n");
    LogLine("Processing %s", path.c_str());
    std::string error;
    // Held while the file is imported: a program that locks before writing waits until then.
    std::optional<ReadableFile> file = ReadableFile::Open(path, error);
    if (!file) {
        console_.Show(error + ":" + path);
        return false;
    }
    if (params_.quotaLeft != 0 && file->Size() > params_.quotaLeft) {
        console_.Show(
            FormatText("ERR_QUOTA_MSG2", path, params_.quotaLeft / kibibyte, file->Size() / kibibyte));
    }
    params_.SetPstPath(path);
    try {
        if (!backend_.CreateTemporaryProfile(params_)) {
            console_.Show(LookupText("ERR_TEMP_PROFILE_CREATE_FAIL"));
            return false;
        }
        params_.profileName = params_.tempProfileName;
        return RunWorker();
    } catch (const std::exception& failure) {
        console_.Show(path + ": " + failure.what());
        return false;
    }
}

bool ConsoleRun::RunWorker() {
    std::unique_ptr<IImportSource> source = backend_.CreateSource(params_);
    std::unique_ptr<IImportEngine> engine = backend_.CreateEngine(params_, *source);
    int32_t errors = 0;
    {
        CmdLineStatus status(params_, screens_());
        params_.progress = &status;
        RunGuardedImportWorker(params_, *source, *engine);
        params_.progress = nullptr;
        errors = status.Errors();
    }
    return errors == 0;
}
