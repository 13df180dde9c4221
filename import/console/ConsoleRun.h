#pragma once
// The console run over the jobs of a job file: for each Import element the job's settings are read
// and its account checked; then each of its PST files is checked (readable, not being written, the
// quota), imported by the import worker under its crash guard with a CmdLineStatus showing progress,
// and its closing text printed. A job whose settings or account check fail is skipped, a file that
// cannot be imported too; the run goes on with the next. At the end the console names the run's log.

#include <functional>
#include <memory>
#include <string>

#include "import/ImportBackend.h"
#include "import/console/ConfigXMLParser.h"
#include "import/console/Console.h"
#include "import/console/ConsoleScreen.h"
#include "import/console/PasswordPrompt.h"
#include "runtime/ImportParams.h"

struct ConsoleRunResult {
    int jobs = 0;
    int jobsSkipped = 0;  // settings unusable or account check failed
    int files = 0;        // PST files of the jobs that ran
    int filesFailed = 0;  // not imported, or imported with errors
    // Every file of every job imported without errors.
    bool Succeeded() const { return jobs > 0 && jobsSkipped == 0 && filesFailed == 0; }
};

class ConsoleRun {
  public:
    using ScreenFactory = std::function<std::unique_ptr<ConsoleScreen>()>;

    // `parser` has been validated. The screen factory gives each file's progress display (by
    // default OpenConsoleScreen on the console's output).
    ConsoleRun(ImportParams& params, ConfigXMLParser& parser, IImportBackend& backend, const Console& console,
               PasswordReader readPassword = ReadConsolePassword, ScreenFactory screens = nullptr);

    ConsoleRunResult Run();

  private:
    bool PrepareJob(size_t index);
    // True when the file was imported without errors.
    bool ImportFile(const std::string& path);
    bool RunWorker();
    void ShowJobProblem(const std::string& text) const;

    ImportParams& params_;
    ConfigXMLParser& parser_;
    IImportBackend& backend_;
    const Console& console_;
    PasswordReader readPassword_;
    ScreenFactory screens_;
};
