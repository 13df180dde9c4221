#pragma once
// AddMsgRequest: <m aid="upload token" l="folder" [d="ms since 1970"] [f="flags"] [t="tags"]/>.
// The upload must belong to the session's account and hold a MIME message that passes the MIME
// check; it is used up by the message.

#include "testserver/Operation.h"

namespace Tarvik::TestServer::MessageOperations {

// The message flag letters the server knows: unread, flagged, has attachment, replied, sent by me,
// forwarded, draft, deleted, notification sent, high and low priority.
inline constexpr const char* MessageFlagLetters = "ufarswdxn!?";

void AddMsg(OperationContext& context, const Xml::Node& request, XmlWriter& out);

}  // namespace Tarvik::TestServer::MessageOperations
