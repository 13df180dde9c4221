#pragma once
// The account service (urn:tarvikAccount): logging on and the account information.

#include "testserver/Operation.h"

namespace Tarvik::TestServer::AccountOperations {

// <account by="name">U</account><password>P</password> -> authToken, lifetime, sessionId.
void Auth(OperationContext& context, const Xml::Node& request, XmlWriter& out);
// The target account's name, id, version, used bytes and attributes (quota, administrator flags).
void GetInfo(OperationContext& context, const Xml::Node& request, XmlWriter& out);

// Writes authToken, lifetime and sessionId of a new session (shared with the admin service).
void WriteSession(XmlWriter& out, const Session& session, int64_t lifetimeMs);

}  // namespace Tarvik::TestServer::AccountOperations
