#include "tests/import/ImportJob.h"

#include "import/ImportWorker.h"
#include "import/MapiImportBackend.h"
#include "runtime/ImportParams.h"
#include "runtime/Log.h"
#include "runtime/Text.h"

namespace EngineTest {

bool RunImportJob(const JobOptions& options, IImportProgress& progress) {
    LoadTextTable(TextLanguage::Default);
    ImportParams& params = GetImportParams();
    ResetImportParams(params);
    params.SetPstPath(options.pstPath);
    params.serverName = options.host;
    params.port = options.port;
    params.authAccount = options.account;
    params.targetAccount = options.account;
    params.password = options.password;
    params.workDirectory = options.workDirectory;
    params.ignorePreviouslyImported = options.resume;
    params.progress = &progress;
    if (LogFilePath().empty()) {
        NameLogFile(params);
    }
    std::unique_ptr<IImportBackend> backend = CreateMapiImportBackend();
    if (!backend->CreateTemporaryProfile(params)) {
        return false;
    }
    params.profileName = params.tempProfileName;
    std::unique_ptr<IImportSource> source = backend->CreateSource(params);
    std::unique_ptr<IImportEngine> engine = backend->CreateEngine(params, *source);
    ImportWorker(params, *source, *engine);
    params.progress = nullptr;
    return true;
}

}  // namespace EngineTest
