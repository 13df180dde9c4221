#include "import/Startup.h"

#include <string>

#include "runtime/CrashReport.h"
#include "runtime/FaultGuard.h"
#include "runtime/Log.h"
#include "runtime/Text.h"

const ProgramVersion& Version() {
    static const ProgramVersion version{"tvkimport", TVK_VERSION, TVK_VERSION_MAJOR, TVK_VERSION_MINOR};
    return version;
}

bool SetUpCrashReports(const ImportParams& params) {
    std::string program = std::string(Version().name) + " " + Version().text;
    bool ready = CrashReports::Configure(params.workDirectory, program);
    FaultGuards::Install(FormatText("ERR_APP_TERM", params.workDirectory));
    return ready;
}

void LogProgramStart() {
    LogLine("%s Version %d.%d\n", Version().name, Version().major, Version().minor);
    LogLine("The PST file is read directly: no mail client or MAPI set-up is needed");
}
