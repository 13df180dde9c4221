#pragma once
// Runs one whole import job the way the front ends do: a temporary profile for the PST file, the MAPI
// source and the engine of this build, and ImportWorker. Shared by the end-to-end tests and the
// import runner the resume test kills.

#include <string>

#include "runtime/ImportProgress.h"

namespace EngineTest {

struct JobOptions {
    std::string pstPath;
    std::string host = "127.0.0.1";
    int port = 0;
    std::string account = "user@example.com";
    std::string password = "secret";
    std::string workDirectory;
    bool resume = true;
};

// False when the job could not start (no temporary profile); otherwise the worker ran it and
// reported every problem through `progress`.
bool RunImportJob(const JobOptions& options, IImportProgress& progress);

}  // namespace EngineTest
