#include "mapi/AppointmentUid.h"

#include <cstdio>

#include "mapi/NamedProps.h"
#include "runtime/Log.h"

namespace Tarvik::Mapi {

namespace {

constexpr size_t kVcalMarkerOffset = 40;
constexpr size_t kVcalTextOffset = 52;
constexpr const char kVcalMarker[] = "vCal-Uid";

}  // namespace

std::optional<std::string> OlkUidToICalUid(const std::string& id) {
    if (id.empty()) {
        return std::nullopt;
    }
    if (id.size() > 48 && id.compare(kVcalMarkerOffset, 8, kVcalMarker) == 0) {
        // The text ends at its NUL, or at the end of the value when a damaged id lacks one.
        std::string text = id.substr(kVcalTextOffset);
        return text.substr(0, text.find('\0'));
    }
    std::string hex;
    char digits[3];
    for (unsigned char c : id) {
        snprintf(digits, sizeof digits, "%02X", c);
        hex += digits;
    }
    return hex;
}

std::optional<std::string> ReadAppointmentUid(IMAPIProp& item) {
    SPropValue value;
    HRESULT hr =
        HrGetOneProp(item, NamedProps::CalendarTag(NamedProps::CleanGlobalObjectId, PT_BINARY), value);
    if (FAILED(hr)) {
        LogLine("**INFO** Appointment UID not found: %0x", static_cast<unsigned>(hr));
        return std::nullopt;
    }
    auto uid = OlkUidToICalUid(value.AsBinary());
    if (!uid) {
        LogLine("**INFO** Appointment UID not found.OlkUidToICalUid Failed.");
    }
    return uid;
}

}  // namespace Tarvik::Mapi
