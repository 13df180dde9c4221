#include "testserver/Directory.h"

#include "testserver/Encoding.h"
#include "testserver/Names.h"

namespace Tarvik::TestServer {

std::string NameUuid(std::string_view kind, std::string_view name) {
    std::string hex = Sha256Hex(std::string(kind) + ":" + FoldCase(name)).substr(0, 32);
    return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" + hex.substr(16, 4) +
           "-" + hex.substr(20, 12);
}

Directory::Directory(const ServerConfig& config, Store& store) : defaultDomain_(config.defaultDomain) {
    for (const DomainConfig& configured : config.domains) {
        Domain domain{configured.name, NameUuid("domain", configured.name), configured.publicServiceHostname,
                      configured.attrs};
        domains_.emplace(FoldCase(configured.name), std::move(domain));
    }
    auto transaction = store.Begin();
    for (const AccountConfig& configured : config.accounts) {
        Account account;
        account.id = transaction->EnsureAccount(configured.name);
        account.name = configured.name;
        account.uuid = NameUuid("account", configured.name);
        account.domain = configured.name.substr(configured.name.find('@') + 1);
        account.password = configured.password;
        account.admin = configured.admin;
        account.domainAdmin = configured.domainAdmin;
        account.quota = configured.quota;
        account.usedBefore = configured.used;
        account.attrs = configured.attrs;
        accounts_.emplace(FoldCase(configured.name), std::move(account));
    }
    transaction->Commit();
}

std::string Directory::Qualified(std::string_view name) const {
    if (name.empty() || name.find('@') != std::string_view::npos || defaultDomain_.empty()) {
        return std::string(name);
    }
    return std::string(name) + "@" + defaultDomain_;
}

const Account* Directory::FindAccount(std::string_view name) const {
    auto found = accounts_.find(FoldCase(Qualified(name)));
    return found != accounts_.end() ? &found->second : nullptr;
}

const Domain* Directory::FindDomain(std::string_view name) const {
    auto found = domains_.find(FoldCase(name));
    return found != domains_.end() ? &found->second : nullptr;
}

}  // namespace Tarvik::TestServer
