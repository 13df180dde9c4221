#pragma once
// Requests of the account and admin services: logons, account information and admin lookups.

#include <string_view>

#include "tarvik/Request.h"

namespace Tarvik::Rpc {

// Logon of an account on the account service.
class AuthRequest : public Request {
  public:
    AuthRequest(std::string_view user, std::string_view password);
};

// Logon of an administrator on the admin service.
class AdminAuthRequest : public Request {
  public:
    AdminAuthRequest(std::string_view user, std::string_view password);
};

// Name, server version, quota use and attributes (administrator flags, quota) of the account.
class GetInfoRequest : public Request {
  public:
    GetInfoRequest();
};

// An account by name (admin service).
class GetAccountRequest : public Request {
  public:
    explicit GetAccountRequest(std::string_view accountName);
};

// A domain by name (admin service).
class GetDomainRequest : public Request {
  public:
    explicit GetDomainRequest(std::string_view domainName);
};

}  // namespace Tarvik::Rpc
