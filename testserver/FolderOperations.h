#pragma once
// Folders and tags of the mail service (urn:tarvikMail).

#include "testserver/Operation.h"

namespace Tarvik::TestServer::FolderOperations {

// The whole folder tree, nested, from the root (id 1).
void GetFolder(OperationContext& context, const Xml::Node& request, XmlWriter& out);
// <folder name="N" l="parent" [view] [color] [f]/>; names are unique per parent without regard to case.
void CreateFolder(OperationContext& context, const Xml::Node& request, XmlWriter& out);
void GetTag(OperationContext& context, const Xml::Node& request, XmlWriter& out);
// <tag name="N" color="C"/>; at most the configured number of tags per account.
void CreateTag(OperationContext& context, const Xml::Node& request, XmlWriter& out);

}  // namespace Tarvik::TestServer::FolderOperations
