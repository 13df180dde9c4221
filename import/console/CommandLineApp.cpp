#include "import/console/CommandLineApp.h"

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>

#include "import/EngineSettings.h"
#include "import/InstanceLock.h"
#include "import/Startup.h"
#include "import/console/CommandLine.h"
#include "import/console/ConfigXMLParser.h"
#include "import/console/ConsoleRun.h"
#include "import/console/TerminalRestore.h"
#include "runtime/ImportParams.h"
#include "runtime/Log.h"
#include "runtime/SettingsStore.h"
#include "runtime/Text.h"
#include "runtime/WorkDirectory.h"

namespace {

namespace fs = std::filesystem;

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

// Replaces this process by the wizard: beside this program, in the build tree's layout, or on the
// PATH. Returns only when it could not be started.
void StartWizard() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        for (fs::path candidate : {self.parent_path() / "tvkimport-wizard",
                                   self.parent_path().parent_path() / "wizard" / "tvkimport-wizard"}) {
            if (access(candidate.c_str(), X_OK) == 0) {
                execl(candidate.c_str(), candidate.c_str(), static_cast<char*>(nullptr));
            }
        }
    }
    execlp("tvkimport-wizard", "tvkimport-wizard", static_cast<char*>(nullptr));
}

// Waits for Enter, so that a window opened only for this run does not vanish with its messages;
// only when someone is at the terminal.
void Pause(bool pause, const Console& console) {
    if (!pause || !isatty(STDIN_FILENO) || !isatty(console.OutFd())) {
        return;
    }
    console.Print(LookupText("INFO_PRESS_ENTER"));
    char byte = 0;
    while (read(STDIN_FILENO, &byte, 1) == 1 && byte != '\n') {
    }
}

bool IsReservedName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return strcasecmp(name.c_str(), "CONFIG.XML") == 0;
}

std::string CurrentDirectory() {
    std::error_code error;
    fs::path current = fs::current_path(error);
    return error ? std::string(".") : current.string();
}

class CommandLineRun {
  public:
    CommandLineRun(const CommandLine& line, IImportBackend& backend, const Console& console)
        : line_(line), backend_(backend), console_(console), params_(GetImportParams()) {}

    int Run() {
        std::optional<InstanceLock> lock;
        if (!StartUp(lock)) {
            return exitNotStarted;
        }
        int status = RunJobFile();
        Pause(line_.pause, console_);
        CloseLogFile();
        return status;
    }

  private:
    bool StartUp(std::optional<InstanceLock>& lock) {
        try {
            params_.workDirectory = PrepareWorkDirectory();
        } catch (const WorkDirectoryError& error) {
            console_.Show(error.what());
            return false;
        }
        // Before the log is opened: a second copy must not truncate the running copy's log.
        lock.emplace(params_.workDirectory);
        if (!lock->Held()) {
            console_.Show(LookupText("ERR_ANOTHER_PROCESS"));
            return false;
        }
        params_.commandLineMode = true;
        if (!NameLogFile(params_)) {
            console_.Show(LogFileName(params_.workDirectory, "", time(nullptr)) + ": " + strerror(errno));
        }
        params_.startDirectory = CurrentDirectory();
        LogProgramStart();
        ReadEngineSettings(SettingsStore::User(), params_);
        crashReportsReady_ = SetUpCrashReports(params_);
        TerminalRestore::Install();
        return true;
    }

    int RunJobFile() {
        const std::string& path = *line_.jobFile;
        LogLine("Checking for whether the XML is Config.xml. XML Path : %s", path.c_str());
        if (IsReservedName(path)) {
            LogLine("File name is Config.xml which is a special file reserved for registry configuration.");
            console_.Show(LookupText("ERR_CONFIGXML"));
            return exitNotStarted;
        }
        ConfigXMLParser parser(path, params_.startDirectory);
        std::string error = parser.Validate();
        if (!crashReportsReady_ && !parser.IgnoreCoreDump()) {
            console_.Show(LookupText("ERR_DBGHELP_NOCONTINUE") + LookupText("INFO_EXITING"));
            return exitNotStarted;
        }
        if (!error.empty()) {
            LogLine("Unable to process configuration XML file.\nExiting\n");
            console_.Show(LookupText("ERR_INIT_IMPORTPARMS") + parser.Path() + ": " + error + "\n" +
                          LookupText("INFO_EXITING"));
            return exitNotStarted;
        }
        if (!crashReportsReady_) {
            console_.Show(LookupText("ERR_DBGHELP_RETR"));
        }
        ConsoleRunResult result = ConsoleRun(params_, parser, backend_, console_).Run();
        return result.Succeeded() ? exitImported : exitImportFailed;
    }

    const CommandLine& line_;
    IImportBackend& backend_;
    const Console& console_;
    ImportParams& params_;
    bool crashReportsReady_ = false;
};

}  // namespace

int RunTvkImport(const std::vector<std::string>& arguments, IImportBackend& backend, const Console& console) {
    LoadTextTable();
    CommandLine line = ParseCommandLine(arguments);
    if (line.help) {
        console.Print(LookupText("INFO_USAGE"));
        return exitImported;
    }
    if (line.version) {
        console.Print(std::string(Version().name) + " " + Version().text + "\n");
        return exitImported;
    }
    if (line.unknownSwitch || line.extraArgument) {
        console.Show(line.unknownSwitch ? FormatText("ERR_UNKNOWN_OPTION", *line.unknownSwitch)
                                        : FormatText("ERR_EXTRA_ARGUMENT", *line.extraArgument));
        console.Show(LookupText("INFO_USAGE"));
        return exitNotStarted;
    }
    if (!line.jobFile) {
        if (HasDisplay()) {
            StartWizard();
        }
        console.Show(LookupText("INFO_USAGE"));
        return exitNotStarted;
    }
    return CommandLineRun(line, backend, console).Run();
}
