#pragma once
// SetAppointmentRequest and SetTaskRequest: <... l="folder"><default ptst><m>...</m></default>
// [<except>...] [<cancel>...]</...>. The invitation tree is checked (CalendarParser), its attachment
// uploads are used up, and the item is kept both as received and parsed. As on a Tarvik server, an
// item whose UID the account already has (for the same kind) is replaced, keeping its id.

#include "testserver/Operation.h"

namespace Tarvik::TestServer::CalendarOperations {

void SetAppointment(OperationContext& context, const Xml::Node& request, XmlWriter& out);
void SetTask(OperationContext& context, const Xml::Node& request, XmlWriter& out);

}  // namespace Tarvik::TestServer::CalendarOperations
