#include "import/ImportWorker.h"

#include <exception>

#include "mapi/HRException.h"
#include "runtime/Log.h"
#include "runtime/Text.h"
#include "tarvik/RpcException.h"
#include "tarvik/TarvikException.h"

namespace {

// After this many failed attempts (or the scan's error limit) the job gives up.
constexpr int failedAttemptLimit = 4;
// The code the scan throws when it reaches the job's item error limit.
constexpr const char* scanErrorLimitCode = "error_threshold_reached.";
// The HRESULT the source side uses for a refused access.
constexpr int32_t accessDenied = 6;

bool UsesTemporaryProfile(const ImportParams& params) {
    return !params.tempProfileName.empty() && params.profileName == params.tempProfileName;
}

class Worker {
  public:
    Worker(ImportParams& params, IImportSource& source, IImportEngine& engine)
        : params_(params),
          source_(source),
          engine_(engine),
          progress_(params.progress != nullptr ? *params.progress : silentProgress_) {}

    void Run() {
        LogLine("Worker thread started");
        try {
            if (OpenSource()) {
                RunAttempts();
            }
        } catch (const std::exception& fault) {
            GiveUpOnFault(fault.what());
        } catch (...) {
            GiveUpOnFault(nullptr);
        }
        CleanUp();
    }

  private:
    // Logs on and opens the store; false (after reporting why) when the job cannot go on.
    bool OpenSource() {
        try {
            source_.Logon(params_.profileName);
        } catch (const Tarvik::MAPI::LogonException&) {
            progress_.ReportError(LookupText("ERR_LOGON_PROFILE"));
            LogLine("Unable to Logon to the profile ");
            return false;
        }
        try {
            source_.OpenDefaultStore();
        } catch (const Tarvik::MAPI::HRException& error) {
            progress_.ReportError(FormatText("ERR_DEFAULT_MSGSTORE", error.ErrorCode()));
            LogLine("Unable to open default msg store: %d at %s", error.ErrorCode(),
                    error.Location().c_str());
            return false;
        }
        return true;
    }

    void RunAttempts() {
        int failures = 0;
        for (bool first = true;; first = false) {
            if (failures >= failedAttemptLimit) {
                LogLine("Too many items failed, exiting");
                engine_.LogOverallStatistics();
                return;
            }
            if (first) {
                LogLine("Work arrived...%s %s", params_.pstPath.c_str(), params_.targetAccount.c_str());
                progress_.BeginAccount(params_.targetAccount);
            }
            AttemptEndpoint endpoint = EndpointOf(params_);
            try {
                engine_.RunAttempt(params_.targetAccount, endpoint.host, endpoint.port);
                return;
            } catch (const Tarvik::Rpc::RpcException& error) {
                LogLine("RPC Error: %s", error.Description().c_str());
                progress_.ReportError(FormatText("ERR_RPC", error.LocalizedDescription()));
                failures += 1;
            } catch (const Tarvik::TarvikException& error) {
                LogLine("Error while importing PST %s: %s %s", params_.pstPath.c_str(), error.Code().c_str(),
                        error.Message().c_str());
                progress_.ReportError(error.Message());
                failures = error.Code() == scanErrorLimitCode ? failedAttemptLimit : failures + 1;
            } catch (const Tarvik::MAPI::HRException& error) {
                LogLine("COM Exception: %x at %s", static_cast<uint32_t>(error.ErrorCode()),
                        error.Location().c_str());
                progress_.ReportError(
                    error.ErrorCode() == accessDenied
                        ? LookupText("ERR_ACCESS_DENIED")
                        : FormatText("ERR_COM_EXCEPTION", error.ErrorCode(), error.Location()));
                failures += 1;
            } catch (...) {
                params_.ignorePreviouslyImported = true;
                throw;
            }
            // The next attempt skips what the progress log already records instead of importing it twice.
            params_.ignorePreviouslyImported = true;
        }
    }

    // A failure of no known family: the job ends here, with the statistics a crash would leave.
    void GiveUpOnFault(const char* description) noexcept {
        LogLine("Unknown exception occured, leaving the Migration process.");
        if (description != nullptr) {
            LogLine("Exception text: %s", description);
        }
        Guarded("reporting the failure",
                [this] { progress_.ReportError(LookupText("ERR_UNKNOWN_APP_EXCEPTION")); });
        Guarded("logging the statistics", [this] { engine_.LogOverallStatistics(); });
    }

    void CleanUp() noexcept {
        Guarded("closing the store", [this] { source_.CloseStore(); });
        // Logged off first: a profile still in use cannot be deleted.
        Guarded("logging off", [this] { source_.Logoff(); });
        if (UsesTemporaryProfile(params_)) {
            Guarded("deleting the temporary profile",
                    [this] { source_.DeleteProfile(params_.tempProfileName); });
        }
        LogLine("Worker thread exiting");
        Guarded("reporting the end of the job", [this] { progress_.Finished(); });
    }

    // Runs one clean-up step; its failure is logged and never stops the steps after it.
    template <typename Action>
    static void Guarded(const char* step, const Action& action) noexcept {
        try {
            action();
        } catch (const std::exception& error) {
            LogLine("**Warning**: Failed while %s: %s", step, error.what());
        } catch (...) {
            LogLine("**Warning**: Failed while %s", step);
        }
    }

    ImportParams& params_;
    IImportSource& source_;
    IImportEngine& engine_;
    SilentProgress silentProgress_;
    IImportProgress& progress_;
};

}  // namespace

AttemptEndpoint EndpointOf(const ImportParams& params) {
    if (!params.AdministrativeMode()) {
        return {params.serverName, params.port};
    }
    if (!params.mailHost.empty()) {
        return {params.mailHost, 7071};
    }
    return {params.serverName, params.adminPort};
}

int ImportWorker(ImportParams& params, IImportSource& source, IImportEngine& engine) {
    Worker(params, source, engine).Run();
    return 0;
}
