#pragma once
// The worker that runs one import job: logs on to the job's profile, opens its store, makes up to
// four attempts at the import (every attempt after a failed one resumes through the progress log)
// and cleans up. The wizard runs it on a thread of its own, the console run on its run thread.

#include <cstdint>
#include <string>

#include "import/ImportEngine.h"
#include "import/ImportSource.h"
#include "runtime/ImportParams.h"

// Runs the job described by `params` on the calling thread and returns 0. Every failure is logged
// and reported through params.progress; nothing is thrown. Whatever happens, the store is released,
// the session ended, the temporary profile deleted (never a profile the user chose), "Worker thread
// exiting" logged and progress->Finished() called exactly once.
int ImportWorker(ImportParams& params, IImportSource& source, IImportEngine& engine);

// Where an attempt connects: in administrative mode mailHost on port 7071 when it is known, else
// serverName on adminPort; otherwise serverName on port.
struct AttemptEndpoint {
    std::string host;
    int32_t port = 0;
};
AttemptEndpoint EndpointOf(const ImportParams& params);
