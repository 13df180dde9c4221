#pragma once
// The UID of a calendar item, from its clean global object id: the vCal-Uid text that Outlook
// keeps for items that came in as iCalendar, else the whole id in upper-case hexadecimal.

#include <optional>
#include <string>

#include "mapi/platform/MapiInterfaces.h"

namespace Tarvik::Mapi {

// Nothing for an empty id.
std::optional<std::string> OlkUidToICalUid(const std::string& cleanGlobalObjectId);

// Reads the item's clean global object id (NamedProps of the calling thread) and converts it;
// nothing when the item has none (logged).
std::optional<std::string> ReadAppointmentUid(IMAPIProp& item);

}  // namespace Tarvik::Mapi
