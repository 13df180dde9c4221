#include "mapi/TemporaryProfile.h"

#include <ctime>

#include "mapi/platform/PropTags.h"
#include "runtime/ImportParams.h"
#include "runtime/Log.h"
#include "runtime/SettingsStore.h"

namespace Tarvik::MAPI {

namespace {

constexpr const char* kServiceName = "MSUPST MS";
constexpr const char* kServiceDisplayName = "TarvikPSTMigration Message Store";
constexpr const char* kOutlookProfileSection = "0a0d020000000000c000000000000046";

std::string ProfileNameNow() {
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    char clock[16];
    snprintf(clock, sizeof clock, "%02d_%02d_%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return std::string(kTemporaryProfilePrefix) + clock;
}

std::string Dword(uint32_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
            static_cast<char>((value >> 16) & 0xFF), static_cast<char>((value >> 24) & 0xFF)};
}

// The profile-section values Outlook 2007 and 2010 want in a profile made outside Outlook.
void FixUpForOutlook(const std::string& profile, int32_t outlookVersion) {
    if (outlookVersion != 12 && outlookVersion != 14) {
        return;
    }
    std::string key = std::string(kProfilesKey) + "\\" + profile + "\\" + kOutlookProfileSection;
    try {
        SettingsStore& settings = SettingsStore::User();
        if (outlookVersion == 12) {
            settings.WriteBinary(key, "0003036f", Dword(0x1E666));
            settings.WriteBinary(key, "00030397", Dword(100));
            settings.WriteBinary(key, "00030429", Dword(2));
        } else {
            settings.WriteBinary(key, "0003036f", Dword(0x23578));
        }
    } catch (const std::exception& error) {
        if (outlookVersion == 12) {
            LogLine("Windows Registry: %s %s", key.c_str(), error.what());
        }
    }
}

// Adds the PST service to the profile and points it at the file; false when the service cannot be
// added.
bool AddPstService(IMsgServiceAdmin& services, const std::string& pstPath, bool noUserInterface) {
    uint32_t flags = noUserInterface ? 0 : SERVICE_UI_ALLOWED;
    HRESULT hr = services.CreateMsgService(kServiceName, kServiceDisplayName, 0, flags);
    if (hr == MAPI_E_UNKNOWN_FLAGS) {
        flags = 0;
        hr = services.CreateMsgService(kServiceName, kServiceDisplayName, 0, flags);
    }
    if (FAILED(hr)) {
        return false;
    }
    std::unique_ptr<IMAPITable> table;
    SRowSet rows;
    if (FAILED(services.GetMsgServiceTable(0, table)) ||
        FAILED(table->SetColumns({PR_SERVICE_UID, PR_DISPLAY_NAME_W}, 0)) ||
        FAILED(table->QueryRows(1, 0, rows)) || rows.empty() || rows[0].lpProps[0].IsError()) {
        return false;
    }
    services.ConfigureMsgService(rows[0].lpProps[0].AsBinary(), 0, flags,
                                 {SPropValue::Text(PR_PST_PATH, pstPath)});
    return true;
}

}  // namespace

void RemoveStaleProfiles(IProfAdmin& profAdmin) {
    std::unique_ptr<IMAPITable> table;
    SRowSet rows;
    SPropTagArray columns = {PR_DISPLAY_NAME_A, PR_DEFAULT_PROFILE};
    if (FAILED(profAdmin.GetProfileTable(0, table)) ||
        FAILED(HrQueryAllRows(*table, &columns, nullptr, nullptr, 0, rows))) {
        return;
    }
    for (const auto& row : rows) {
        const SPropValue& name = row.lpProps[0];
        if (!name.IsError() && name.AsText().find(kTemporaryProfilePrefix) != std::string::npos) {
            profAdmin.DeleteProfile(name.AsText(), 0);
        }
    }
}

bool CreateTemporaryProfile(const std::string& pstPath, bool noUserInterface) {
    std::unique_ptr<IProfAdmin> profAdmin;
    if (FAILED(MAPIAdminProfiles(0, profAdmin))) {
        return false;
    }
    RemoveStaleProfiles(*profAdmin);
    ImportParams& job = GetImportParams();
    job.tempProfileName = ProfileNameNow();
    std::unique_ptr<IMsgServiceAdmin> services;
    if (FAILED(profAdmin->CreateProfile(job.tempProfileName, "", 0, 0)) ||
        FAILED(profAdmin->AdminServices(job.tempProfileName, "", 0, 0, services))) {
        LogLine("IPROFADMIN RefCount: %u", 0u);
        return false;
    }
    if (!AddPstService(*services, pstPath, noUserInterface)) {
        RemoveStaleProfiles(*profAdmin);
        return false;
    }
    FixUpForOutlook(job.tempProfileName, job.outlookVersion);
    return true;
}

void DeleteTemporaryProfile() {
    ImportParams& job = GetImportParams();
    if (job.profileName != job.tempProfileName) {
        return;
    }
    std::unique_ptr<IProfAdmin> profAdmin;
    if (FAILED(MAPIAdminProfiles(0, profAdmin))) {
        return;
    }
    profAdmin->DeleteProfile(job.profileName, 0);
    LogLine("IPROFADMIN RefCount: %u", 0u);
}

}  // namespace Tarvik::MAPI
