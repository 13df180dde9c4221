#pragma once
// The import worker under a processor-fault guard, as both front ends run it. A fault anywhere in the
// job (outside the per-item guards of the scan, which handle their own) is written to a crash report,
// and the job still ends in order: the failure is reported to the progress sink (so the job does not
// pass for a success), the overall statistics are logged, the temporary profile is deleted (never a
// profile the user chose), "Worker thread exiting" is logged and progress->Finished() is called,
// unless the worker had called it already.

#include "import/ImportEngine.h"
#include "import/ImportSource.h"
#include "runtime/ImportParams.h"

// Runs ImportWorker(params, source, engine) under the guard; returns 0 as the worker does.
int RunGuardedImportWorker(ImportParams& params, IImportSource& source, IImportEngine& engine);
