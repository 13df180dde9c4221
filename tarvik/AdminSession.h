#pragma once
// The administrator's session on the admin service: checks the administrator's credentials and
// rights, looks up the target account and the public host name of its domain. One per process:
// opening a new one closes the previous one with its tokens.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "tarvik/Connection.h"
#include "tarvik/SessionInfo.h"

namespace Tarvik::Admin {

// An account as the admin service describes it. For an attribute listed more than once the first
// value is kept.
struct Account {
    std::optional<std::string> name;
    std::optional<std::string> id;
    std::map<std::string, std::string> attributes;
};

class AdminSession {
  public:
    // Replaces the process-wide admin session by a new one on this endpoint and returns it.
    static AdminSession& Open(std::string host, uint32_t port, bool secure, bool ignoreCertificateErrors);
    // The open admin session, or nothing.
    static AdminSession* Current();

    AdminSession(const AdminSession&) = delete;
    AdminSession& operator=(const AdminSession&) = delete;

    Xml::Document AdminExecute(Rpc::Request& request, bool stampSession);

    // Logs the administrator on and reads its account information: sets the job's administrator
    // flags and server version. True when the server gave an auth token.
    bool AdminAuthenticate(std::string_view user, std::string_view password);
    std::unique_ptr<Account> GetAdminAccount(std::string_view name);
    // The domain's "tarvikPublicServiceHostname" (the last one listed), or "" when it has none.
    std::string GetDomainPublicHostname(std::string_view domain);

    Rpc::Connection& Connection() { return connection_; }
    const Rpc::SessionInfo& Session() const { return session_; }
    const std::string& AccountName() const { return accountName_; }

  private:
    AdminSession(std::string host, uint32_t port, bool secure, bool ignoreCertificateErrors);

    Rpc::Connection connection_;
    Rpc::SessionInfo session_;
    std::string accountName_;
};

}  // namespace Tarvik::Admin
