#pragma once
// Reading the profiles that profile administration (MAPIAdminProfiles) keeps in the settings store.

#include <string>
#include <vector>

namespace mapipst {

struct ProfileService {
    std::string uid;  // 16 bytes
    std::string serviceName;
    std::string displayName;
    std::string pstPath;  // empty until the service is configured
};

bool ProfileExists(const std::string& name);
std::vector<ProfileService> ProfileServices(const std::string& profile);

}  // namespace mapipst
