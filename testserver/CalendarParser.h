#pragma once
// Reads and checks the invitation tree of a SetAppointmentRequest or SetTaskRequest: the default
// component, changed (except) and cancelled (cancel) occurrences, each with its time zones, inv
// attributes, dates, organizer, attendees, recurrence rule, alarm, task properties, subject, bodies
// and attachment tokens. Anything the importer could not have meant (an unknown element or value, a
// date that does not parse, a time-zone reference without its tz element, an end before the start)
// is refused with service.INVALID_REQUEST naming it.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "xml/Node.h"

namespace Tarvik::TestServer {

struct ParsedInvitation {
    std::string uid;  // of the default component, empty when it has none
    // {"default": component, "exceptions": [...], "cancellations": [...]}; every component lists its
    // attachments as {"aid": token} objects in "attachments".
    nlohmann::ordered_json parsed;
    std::vector<std::string> attachmentTokens;  // every token, in document order
};

ParsedInvitation ParseInvitation(const Xml::Node& request, bool isTask);

}  // namespace Tarvik::TestServer
