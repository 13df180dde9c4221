#pragma once
// The program tvkimport: its start-up in command-line mode and the console run.
//
//   tvkimport [-NoPause] JOBFILE.xml    runs every job of the job file
//   tvkimport --help | --version
//   tvkimport                           starts tvkimport-wizard when it is installed and a display
//                                       is available, else prints the usage
//
// Start-up loads the texts, prepares the work directory, makes sure no other copy imports for this
// user, opens the run's log, reads the engine's settings, sets up crash reports, refuses a job file
// named Config.xml (reserved for settings) and validates the job file; then the console run imports.

#include <memory>
#include <string>
#include <vector>

#include "import/ImportBackend.h"
#include "import/console/Console.h"

// Exit statuses.
inline constexpr int exitImported = 0;      // every file of every job imported without errors
inline constexpr int exitImportFailed = 1;  // a job or a file was skipped, or reported errors
inline constexpr int exitNotStarted = 2;    // usage, job file or start-up refused the run

// Runs tvkimport with `arguments` (without the program's name) and returns the exit status.
int RunTvkImport(const std::vector<std::string>& arguments, IImportBackend& backend,
                 const Console& console = Console());
