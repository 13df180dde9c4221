#pragma once
// What a front end needs from the source side and the import engine to run one PST file's job:
// the temporary profile of the PST, the MAPI source over it and the engine that imports from it.
// The front ends only see these interfaces, so the MAPI layer and the engine plug in here.

#include <memory>

#include "import/ImportEngine.h"
#include "import/ImportSource.h"
#include "runtime/ImportParams.h"

class IImportBackend {
  public:
    virtual ~IImportBackend() = default;

    // Makes a temporary profile holding params.pstPath, without any user interaction, and names it
    // in params.tempProfileName. False when it cannot be made (the front end then skips the file).
    virtual bool CreateTemporaryProfile(ImportParams& params) = 0;

    // The source for the job in `params` (not yet logged on) and the engine that imports from it.
    // The engine borrows the source, which outlives it.
    virtual std::unique_ptr<IImportSource> CreateSource(ImportParams& params) = 0;
    virtual std::unique_ptr<IImportEngine> CreateEngine(ImportParams& params, IImportSource& source) = 0;
};

// The backend of this build. The calls above may throw std::exception with a text for the user
// when a file cannot be imported at all.
std::unique_ptr<IImportBackend> CreateImportBackend();
