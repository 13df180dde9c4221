#pragma once
// The accounts and domains the server knows, from the configuration, with their store ids. Fixed
// once the server runs, so lookups need no lock.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "testserver/Config.h"
#include "testserver/Store.h"

namespace Tarvik::TestServer {

struct Account {
    int64_t id = 0;  // in the store
    std::string name;
    std::string uuid;
    std::string domain;
    std::string password;
    bool admin = false;
    bool domainAdmin = false;
    int64_t quota = 0;
    int64_t usedBefore = 0;
    std::map<std::string, std::string> attrs;
};

struct Domain {
    std::string name;
    std::string uuid;
    std::string publicServiceHostname;
    std::map<std::string, std::string> attrs;
};

class Directory {
  public:
    // Makes sure that every configured account exists in the store.
    Directory(const ServerConfig& config, Store& store);

    // By name without regard to case; a name without "@" is looked up in the default domain.
    const Account* FindAccount(std::string_view name) const;
    const Domain* FindDomain(std::string_view name) const;
    // The name as an account name: "user" becomes "user@<default domain>".
    std::string Qualified(std::string_view name) const;

  private:
    std::string defaultDomain_;
    std::map<std::string, Account> accounts_;  // by folded name
    std::map<std::string, Domain> domains_;    // by folded name
};

// A stable identifier in UUID form derived from a name, so that ids do not change between runs.
std::string NameUuid(std::string_view kind, std::string_view name);

}  // namespace Tarvik::TestServer
