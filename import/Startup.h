#pragma once
// Start-up steps both front ends take before their first import: the program's version, crash
// reports in the work directory, and the log lines that open a run.

#include "runtime/ImportParams.h"

struct ProgramVersion {
    const char* name;  // "tvkimport"
    const char* text;  // "1.0.0", the project version of the build
    int major;
    int minor;
};
const ProgramVersion& Version();

// Crash reports go to the job's work directory; a fault that ends the program shows the text of
// ERR_APP_TERM. The fault handlers are installed in any case; false when reports cannot be written
// there (the front end decides whether to go on without them).
bool SetUpCrashReports(const ImportParams& params);

// Logs "<name> Version <major>.<minor>" and notes that no mail client set-up is involved.
void LogProgramStart();
