// Profile administration over the settings store: a key per profile below kProfilesKey holding the
// profile's name, and a key per message service below it holding the service's name, display name
// and PST path.

#include <cstdio>
#include <functional>
#include <random>

#include "mapi/platform/MapiInterfaces.h"
#include "mapi/platform/ProfileStore.h"
#include "mapi/platform/PropTags.h"
#include "mapi/platform/Table.h"
#include "runtime/SettingsStore.h"

namespace mapipst {

namespace {

constexpr const char* kNameValue = "Profile Name";
constexpr const char* kServiceNameValue = "Service Name";
constexpr const char* kDisplayNameValue = "Display Name";
constexpr const char* kPstPathValue = "PST Path";

bool IsPstService(const std::string& service) {
    return service == "MSUPST MS" || service == "MSPST MS";
}

bool ValidName(const std::string& name) {
    return !name.empty() && name.find('\\') == std::string::npos && name.find(']') == std::string::npos;
}

std::string ProfileKey(const std::string& name) {
    return std::string(kProfilesKey) + "\\" + name;
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char digits[3];
    for (unsigned char c : bytes) {
        snprintf(digits, sizeof digits, "%02x", c);
        out += digits;
    }
    return out;
}

std::string NewServiceUid() {
    std::random_device random;
    std::string uid(16, '\0');
    for (char& c : uid) {
        c = static_cast<char>(random() & 0xFF);
    }
    return uid;
}

std::unique_ptr<IMAPITable> RowTable(SRowSet rows, const std::string& name) {
    return std::make_unique<Table>(std::make_unique<MemoryRows>(std::move(rows), name));
}

HRESULT Guarded(const std::function<void()>& write) {
    try {
        write();
        return S_OK;
    } catch (const std::exception&) {
        return MAPI_E_NO_ACCESS;
    }
}

class MsgServiceAdmin : public IMsgServiceAdmin {
  public:
    explicit MsgServiceAdmin(std::string profile) : profile_(std::move(profile)) {}

    HRESULT CreateMsgService(const std::string& service, const std::string& displayName, uint64_t,
                             uint32_t flags) override {
        if ((flags & ~SERVICE_UI_ALLOWED) != 0) {
            return MAPI_E_UNKNOWN_FLAGS;
        }
        if (!IsPstService(service)) {
            return MAPI_E_NOT_FOUND;
        }
        std::string key = ProfileKey(profile_) + "\\" + Hex(NewServiceUid());
        return Guarded([&] {
            SettingsStore::User().WriteString(key, kServiceNameValue, service);
            SettingsStore::User().WriteString(key, kDisplayNameValue, displayName);
        });
    }

    HRESULT GetMsgServiceTable(uint32_t, std::unique_ptr<IMAPITable>& table) override {
        SRowSet rows;
        for (const auto& service : ProfileServices(profile_)) {
            rows.push_back(SRow{{SPropValue::Binary(PR_SERVICE_UID, service.uid),
                                 SPropValue::Text(PR_DISPLAY_NAME_W, service.displayName),
                                 SPropValue::Text(PR_SERVICE_NAME_W, service.serviceName)}});
        }
        table = RowTable(std::move(rows), "message services of " + profile_);
        return S_OK;
    }

    HRESULT ConfigureMsgService(const std::string& serviceUid, uint64_t, uint32_t,
                                const std::vector<SPropValue>& properties) override {
        std::string key = ProfileKey(profile_) + "\\" + Hex(serviceUid);
        if (!SettingsStore::User().HasKey(key)) {
            return MAPI_E_NOT_FOUND;
        }
        for (const auto& property : properties) {
            if (PROP_ID(property.ulPropTag) == PROP_ID(PR_PST_PATH) && !property.IsError()) {
                HRESULT hr = Guarded(
                    [&] { SettingsStore::User().WriteString(key, kPstPathValue, property.AsText()); });
                if (FAILED(hr)) {
                    return hr;
                }
            }
        }
        return S_OK;
    }

  private:
    std::string profile_;
};

class ProfAdmin : public IProfAdmin {
  public:
    HRESULT CreateProfile(const std::string& name, const std::string&, uint64_t, uint32_t) override {
        if (!ValidName(name)) {
            return MAPI_E_INVALID_PARAMETER;
        }
        if (SettingsStore::User().HasKey(ProfileKey(name))) {
            return MAPI_E_NO_ACCESS;
        }
        return Guarded([&] { SettingsStore::User().WriteString(ProfileKey(name), kNameValue, name); });
    }

    HRESULT DeleteProfile(const std::string& name, uint32_t) override {
        if (!ValidName(name) || !SettingsStore::User().HasKey(ProfileKey(name))) {
            return MAPI_E_NOT_FOUND;
        }
        return Guarded([&] { SettingsStore::User().DeleteKey(ProfileKey(name)); });
    }

    HRESULT GetProfileTable(uint32_t, std::unique_ptr<IMAPITable>& table) override {
        SRowSet rows;
        for (const auto& name : SettingsStore::User().SubKeys(kProfilesKey)) {
            rows.push_back(
                SRow{{SPropValue::Text(PR_DISPLAY_NAME_A, name), SPropValue::Text(PR_DISPLAY_NAME_W, name),
                      SPropValue::Bool(PR_DEFAULT_PROFILE, false)}});
        }
        table = RowTable(std::move(rows), "profiles");
        return S_OK;
    }

    HRESULT AdminServices(const std::string& name, const std::string&, uint64_t, uint32_t,
                          std::unique_ptr<IMsgServiceAdmin>& admin) override {
        if (!ValidName(name) || !SettingsStore::User().HasKey(ProfileKey(name))) {
            return MAPI_E_NOT_FOUND;
        }
        admin = std::make_unique<MsgServiceAdmin>(name);
        return S_OK;
    }
};

std::string Unhex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

}  // namespace

bool ProfileExists(const std::string& name) {
    return ValidName(name) && SettingsStore::User().HasKey(ProfileKey(name));
}

std::vector<ProfileService> ProfileServices(const std::string& profile) {
    std::vector<ProfileService> services;
    SettingsStore& settings = SettingsStore::User();
    for (const auto& uid : settings.SubKeys(ProfileKey(profile))) {
        std::string key = ProfileKey(profile) + "\\" + uid;
        auto serviceName = settings.ReadString(key, kServiceNameValue);
        if (!serviceName || uid.size() != 32 ||
            uid.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            continue;  // not a service of ours (e.g. a profile section written for Outlook)
        }
        services.push_back({Unhex(uid), *serviceName,
                            settings.ReadString(key, kDisplayNameValue).value_or(""),
                            settings.ReadString(key, kPstPathValue).value_or("")});
    }
    return services;
}

}  // namespace mapipst

HRESULT MAPIAdminProfiles(uint32_t flags, std::unique_ptr<IProfAdmin>& admin) {
    if (flags != 0) {
        return MAPI_E_UNKNOWN_FLAGS;
    }
    admin = std::make_unique<mapipst::ProfAdmin>();
    return S_OK;
}
