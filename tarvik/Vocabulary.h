#pragma once
// The server's XML vocabulary: namespace URIs, the XPath prefixes bound to them, and the element and
// attribute names the requests use. Requests never spell these names inline.

#include <string_view>

#include "xml/Document.h"

namespace Tarvik::Rpc {

namespace Ns {
inline constexpr std::string_view Soap = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr std::string_view Tarvik = "urn:tarvik";
inline constexpr std::string_view Mail = "urn:tarvikMail";
inline constexpr std::string_view Account = "urn:tarvikAccount";
inline constexpr std::string_view Admin = "urn:tarvikAdmin";
}  // namespace Ns

// Prefixes for selections in request documents: mail, l, account, soap.
Xml::NamespaceBindings RequestNamespaces();
// Prefixes for selections in response documents; `withAdmin` adds admin (after mail).
Xml::NamespaceBindings ResponseNamespaces(bool withAdmin);

namespace Names {
inline constexpr std::string_view Context = "context";
inline constexpr std::string_view AuthToken = "authToken";
inline constexpr std::string_view SessionId = "sessionId";
inline constexpr std::string_view Account = "account";
inline constexpr std::string_view Password = "password";
inline constexpr std::string_view Name = "name";
inline constexpr std::string_view By = "by";
inline constexpr std::string_view AuthRequest = "AuthRequest";
inline constexpr std::string_view BatchRequest = "BatchRequest";
inline constexpr std::string_view GetInfoRequest = "GetInfoRequest";
inline constexpr std::string_view GetFolderRequest = "GetFolderRequest";
inline constexpr std::string_view GetTagRequest = "GetTagRequest";
inline constexpr std::string_view CreateFolderRequest = "CreateFolderRequest";
inline constexpr std::string_view CreateTagRequest = "CreateTagRequest";
inline constexpr std::string_view CreateContactRequest = "CreateContactRequest";
inline constexpr std::string_view AddMsgRequest = "AddMsgRequest";
inline constexpr std::string_view GetAccountRequest = "GetAccountRequest";
inline constexpr std::string_view GetDomainRequest = "GetDomainRequest";
inline constexpr std::string_view Folder = "folder";
inline constexpr std::string_view Tag = "tag";
inline constexpr std::string_view Contact = "cn";
inline constexpr std::string_view ContactAttribute = "a";
inline constexpr std::string_view AttributeName = "n";
inline constexpr std::string_view Message = "m";
inline constexpr std::string_view UploadId = "aid";
inline constexpr std::string_view FolderId = "l";
inline constexpr std::string_view Tags = "t";
inline constexpr std::string_view Flags = "f";
inline constexpr std::string_view Date = "d";
inline constexpr std::string_view Id = "id";
inline constexpr std::string_view RequestId = "requestId";
inline constexpr std::string_view View = "view";
inline constexpr std::string_view Color = "color";
inline constexpr std::string_view Domain = "domain";
inline constexpr std::string_view Xmlns = "xmlns";
}  // namespace Names

}  // namespace Tarvik::Rpc
