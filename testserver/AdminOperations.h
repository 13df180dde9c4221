#pragma once
// The admin service (urn:tarvikAdmin, only on /service/admin/soap/): administrator log-on and the
// account and domain lookups. A domain administrator may only look inside its own domain.

#include "testserver/Operation.h"

namespace Tarvik::TestServer::AdminOperations {

// <name>U</name><password>P</password>; refused for accounts without administrator rights.
void Auth(OperationContext& context, const Xml::Node& request, XmlWriter& out);
// <account by="name">N</account> -> account name, id and attributes.
void GetAccount(OperationContext& context, const Xml::Node& request, XmlWriter& out);
// <domain by="name">D</domain> -> domain name, id and attributes (tarvikPublicServiceHostname).
void GetDomain(OperationContext& context, const Xml::Node& request, XmlWriter& out);

}  // namespace Tarvik::TestServer::AdminOperations
