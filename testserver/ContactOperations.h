#pragma once
// CreateContactRequest: <cn l="folder" [t="tags"]><a n="name">value</a>...<a n="image" aid="token"/></cn>.
// Only the contact attributes the importer can produce are accepted; a contact without any non-empty
// attribute is refused as "contact must have fields".

#include "testserver/Operation.h"

namespace Tarvik::TestServer::ContactOperations {

void CreateContact(OperationContext& context, const Xml::Node& request, XmlWriter& out);

}  // namespace Tarvik::TestServer::ContactOperations
