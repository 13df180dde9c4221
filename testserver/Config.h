#pragma once
// The server's configuration: accounts and domains with their passwords, rights and quotas, the
// version the server reports, session lifetime and limits, and the downloads page. Read from a JSON
// file (format in testserver/README.md); unknown keys are errors so that a typo cannot go unnoticed.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace Tarvik::TestServer {

struct DomainConfig {
    std::string name;
    std::string publicServiceHostname;  // "tarvikPublicServiceHostname", left out when empty
    std::map<std::string, std::string> attrs;
};

struct AccountConfig {
    std::string name;  // user@domain
    std::string password;
    bool admin = false;
    bool domainAdmin = false;
    int64_t quota = 0;  // bytes, 0 for none
    int64_t used = 0;   // bytes counted as used before anything is stored
    std::map<std::string, std::string> attrs;
};

struct ServerConfig {
    std::string serverVersion = "8.8.15_GA_4007";
    int64_t tokenLifetimeMs = 2 * 24 * 3600 * 1000LL;
    int maxTags = 64;
    int64_t maxUploadBytes = 100LL * 1024 * 1024;
    std::string defaultDomain;  // for account names without "@"; the first domain when not given
    std::string downloadsPage;
    std::vector<DomainConfig> domains;  // every domain of an account is added when missing
    std::vector<AccountConfig> accounts;

    // Throws std::runtime_error naming `origin` and the problem.
    static ServerConfig FromJson(std::string_view text, const std::string& origin);
    static ServerConfig Load(const std::string& path);
    // The configuration used when none is given: domain example.com with user@example.com and the
    // administrator admin@example.com, both with the password "secret".
    static std::string DefaultJson();
};

}  // namespace Tarvik::TestServer
