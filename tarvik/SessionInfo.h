#pragma once
// The tokens of one authenticated session, and how a request is executed within it.

#include <optional>
#include <string>
#include <string_view>

#include "xml/Document.h"

namespace Tarvik::Rpc {

class Connection;
class Request;

struct SessionInfo {
    std::optional<std::string> authToken;
    std::optional<std::string> sessionId;
    std::optional<std::string> lifetime;

    // Fills the three tokens from an AuthResponse, with `prefix` "account" or "admin".
    void ReadFrom(const Xml::Document& authResponse, std::string_view prefix);
};

struct ExecuteOptions {
    bool stampSession = false;                 // put the session id and auth token in the header
    std::optional<std::string> targetAccount;  // act on this account's mailbox
    bool adminNamespaces = false;              // bind the admin prefix in the answer
    std::string_view sessionIdPath;            // where a renewed session id is found in the answer
};

// Stamps the request as asked, sends it, binds the answer's prefixes, throws the answer's fault
// (CheckFault) and takes over a renewed session id. Throws RpcException or a TarvikException.
Xml::Document ExecuteInSession(Connection& connection, SessionInfo& session, Request& request,
                               const ExecuteOptions& options);

// Sets the job's administrator flags (an administrator is never also a domain administrator) and
// server version from a GetInfoResponse; returns the account's name.
std::string ApplyAccountInfo(const Xml::Document& getInfoResponse);

// The text of the first match, or nothing.
std::optional<std::string> SelectText(const Xml::Document& document, std::string_view xpath);
// The text of the first match, or an empty string.
std::string SelectTextOrEmpty(const Xml::Document& document, std::string_view xpath);

}  // namespace Tarvik::Rpc
