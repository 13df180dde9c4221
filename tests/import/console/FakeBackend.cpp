#include "tests/import/console/FakeBackend.h"

#include <fmt/format.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "runtime/FaultGuard.h"
#include "runtime/Log.h"
#include "runtime/Text.h"

namespace {

class FakeSource final : public IImportSource {
  public:
    explicit FakeSource(std::vector<std::string>& deletedProfiles) : deletedProfiles_(deletedProfiles) {}
    void Logon(const std::string&) override {}
    void OpenDefaultStore() override {}
    void CloseStore() override {}
    void Logoff() override {}
    void DeleteProfile(const std::string& profileName) override { deletedProfiles_.push_back(profileName); }

  private:
    std::vector<std::string>& deletedProfiles_;
};

void WaitForFile(const std::string& path) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!std::filesystem::exists(path) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

class FakeEngine final : public IImportEngine {
  public:
    FakeEngine(ImportParams& params, const FakeImportPlan& plan, std::vector<FakeImport>& imports)
        : params_(params), plan_(plan), imports_(imports) {}

    void RunAttempt(const std::string& accountName, const std::string& host, int32_t port) override {
        imports_.push_back({params_.pstPath, accountName, host, port, params_.profileName});
        IImportProgress& progress = *params_.progress;
        progress.SetStatus(LookupText("INFO_IDENTIFYING_MSGS"));
        progress.SetTotal(plan_.items);
        progress.SetDone(0);
        if (plan_.jobFault) {
            FaultInjection::Trigger(FaultInjection::Fault::InvalidAccess);
        }
        for (int item = 1; item <= plan_.items; ++item) {
            if (item == plan_.waitAt && !plan_.waitFor.empty()) {
                WaitForFile(plan_.waitFor);
            }
            progress.Step();
            std::string key = fmt::format("{:04x}", item);
            if (plan_.faultItems.contains(item)) {
                FaultInjection::FaultAtItem(key);
            }
            std::optional<CaughtFault> fault = GuardItem(key, [&] {
                if (plan_.errorItems.contains(item)) {
                    progress.ReportError(fmt::format("error in item {}", item));
                }
                if (plan_.warningItems.contains(item)) {
                    progress.ReportWarning(fmt::format("warning in item {}", item));
                }
            });
            if (fault) {
                // As the scanner reports an item that faulted.
                LogLine("**Warning**:Unable to process message d(%s) Folder Name - %s", "No Date", "/Inbox");
                progress.ReportWarning(FormatText("WARN_COULDNOT_PROCESS", "No Date", "/Inbox"));
            }
        }
    }
    void LogOverallStatistics() override { LogLine("(MI):     Import stats"); }

  private:
    ImportParams& params_;
    const FakeImportPlan& plan_;
    std::vector<FakeImport>& imports_;
};

}  // namespace

FakeImportPlan ParseFakeImportPlan(std::string_view text) {
    FakeImportPlan plan;
    std::istringstream words{std::string(text)};
    for (std::string word; words >> word;) {
        size_t equals = word.find('=');
        std::string name = word.substr(0, equals);
        std::string value = equals == std::string::npos ? "" : word.substr(equals + 1);
        if (name == "items") {
            plan.items = std::stoi(value);
        } else if (name == "error") {
            plan.errorItems.insert(std::stoi(value));
        } else if (name == "warning") {
            plan.warningItems.insert(std::stoi(value));
        } else if (name == "fault") {
            plan.faultItems.insert(std::stoi(value));
        } else if (name == "jobfault") {
            plan.jobFault = true;
        } else if (name == "startfault") {
            plan.startFault = true;
        } else if (name == "wait") {
            plan.waitFor = value;
        } else if (name == "waitat") {
            plan.waitAt = std::stoi(value);
        }
    }
    return plan;
}

bool FakeBackend::CreateTemporaryProfile(ImportParams& params) {
    if (plan_.startFault) {
        FaultInjection::Trigger(FaultInjection::Fault::IllegalInstruction);
    }
    params.tempProfileName = fmt::format("T4rv1kPST23Migration{:02}", ++profiles_);
    return true;
}

std::unique_ptr<IImportSource> FakeBackend::CreateSource(ImportParams&) {
    return std::make_unique<FakeSource>(deletedProfiles);
}

std::unique_ptr<IImportEngine> FakeBackend::CreateEngine(ImportParams& params, IImportSource&) {
    return std::make_unique<FakeEngine>(params, plan_, imports);
}
