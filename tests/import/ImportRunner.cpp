// A whole import job in a process of its own, for the test that kills imports midway:
//   tvk-import-runner PST HOST PORT WORKDIR
// Exit status 0 when the job ran, 1 when it could not start, 2 for a wrong command line.

#include <cstdio>
#include <string>

#include "tests/import/EngineTestSupport.h"
#include "tests/import/ImportJob.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s PST HOST PORT WORKDIR\n", argv[0]);
        return 2;
    }
    EngineTest::JobOptions options;
    options.pstPath = argv[1];
    options.host = argv[2];
    options.port = std::stoi(argv[3]);
    options.workDirectory = argv[4];
    EngineTest::RecordingProgress progress;
    if (!EngineTest::RunImportJob(options, progress)) {
        return 1;
    }
    for (const std::string& error : progress.errors) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
    }
    return 0;
}
