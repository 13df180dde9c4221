#include "import/MapiImportBackend.h"

#include <vector>

#include "import/ImportStatistics.h"
#include "import/MapiMessageImporter.h"
#include "mapi/Session.h"
#include "mapi/Store.h"
#include "mapi/TemporaryProfile.h"
#include "mapi/platform/MapiInterfaces.h"
#include "runtime/Log.h"

namespace {

// MAPI for the worker's thread, from construction to destruction.
class MapiImportSource final : public IImportSource {
  public:
    MapiImportSource() { MAPIInitialize(MAPI_MULTITHREAD_NOTIFICATIONS); }
    ~MapiImportSource() override {
        store.Release();
        session.Logoff();
        MAPIUninitialize();
    }

    void Logon(const std::string& profileName) override { session.Logon(profileName); }
    void OpenDefaultStore() override { session.OpenDefaultStore(store); }
    void CloseStore() override { store.Release(); }
    void Logoff() override { session.Logoff(); }
    void DeleteProfile(const std::string& profileName) override {
        std::unique_ptr<IProfAdmin> admin;
        if (FAILED(MAPIAdminProfiles(0, admin)) || !admin) {
            return;
        }
        admin->DeleteProfile(profileName, 0);
        admin.reset();
        LogLine("IPROFADMIN RefCount: %u", 0u);
    }

    Tarvik::MAPI::Session session;
    Tarvik::MAPI::Store store;
};

class MapiImportEngine final : public IImportEngine {
  public:
    MapiImportEngine(ImportParams& params, MapiImportSource& source) : params_(params), source_(source) {}

    void RunAttempt(const std::string& accountName, const std::string& host, int32_t port) override {
        MapiMessageImporter(source_.store, params_, source_.session, accountName, host, port).Run();
    }

    void LogOverallStatistics() override {
        std::shared_ptr<ImportStatistics> statistics = params_.statistics;
        if (statistics) {
            std::vector<ProblemRecord> problems = params_.problems;
            ::LogOverallStatistics(*statistics, problems, FileTimeNow());
        }
    }

  private:
    ImportParams& params_;
    MapiImportSource& source_;
};

class MapiImportBackend final : public IImportBackend {
  public:
    bool CreateTemporaryProfile(ImportParams& params) override {
        return Tarvik::MAPI::CreateTemporaryProfile(params.pstPath, true);
    }
    std::unique_ptr<IImportSource> CreateSource(ImportParams&) override {
        return std::make_unique<MapiImportSource>();
    }
    std::unique_ptr<IImportEngine> CreateEngine(ImportParams& params, IImportSource& source) override {
        return std::make_unique<MapiImportEngine>(params, dynamic_cast<MapiImportSource&>(source));
    }
};

}  // namespace

std::unique_ptr<IImportBackend> CreateMapiImportBackend() {
    return std::make_unique<MapiImportBackend>();
}
