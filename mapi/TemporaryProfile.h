#pragma once
// The temporary MAPI profile made for a PST file: one PST message service configured with the
// file's path, named after kTemporaryProfilePrefix and the time of day. Profiles left by runs that
// crashed are removed the next time one is made.

#include <string>

#include "mapi/platform/MapiInterfaces.h"

namespace Tarvik::MAPI {

inline constexpr const char* kTemporaryProfilePrefix = "T4rv1kPST23Migration";

// Makes the profile and stores its name in ImportParams::tempProfileName; false when it cannot be
// made (a profile of the same name exists, the profile store cannot be written, ...).
bool CreateTemporaryProfile(const std::string& pstPath, bool noUserInterface);

// Deletes every profile whose name contains kTemporaryProfilePrefix; failures are ignored.
void RemoveStaleProfiles(IProfAdmin& profAdmin);

// Deletes the job's temporary profile when the job logs on to it (profileName == tempProfileName).
void DeleteTemporaryProfile();

}  // namespace Tarvik::MAPI
