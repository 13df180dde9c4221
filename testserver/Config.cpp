#include "testserver/Config.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>

#include "testserver/Names.h"

namespace Tarvik::TestServer {

namespace {

using Json = nlohmann::json;

const char* DefaultDownloadsPage =
    "<html><head><title>Downloads</title></head><body><h1>Downloads</h1><p>No downloads.</p></body></html>\n";

class Reader {
  public:
    explicit Reader(std::string origin) : origin_(std::move(origin)) {}

    [[noreturn]] void Fail(const std::string& where, const std::string& problem) const {
        throw std::runtime_error(origin_ + ": " + where + ": " + problem);
    }

    void OnlyKeys(const Json& object, const std::string& where, const std::set<std::string>& keys) const {
        if (!object.is_object()) {
            Fail(where, "must be an object");
        }
        for (const auto& [key, value] : object.items()) {
            if (!keys.contains(key)) {
                Fail(where, "unknown key \"" + key + "\"");
            }
        }
    }

    template <typename T>
    void Read(const Json& object, const std::string& where, const char* key, T& target) const {
        if (!object.contains(key)) {
            return;
        }
        try {
            target = object.at(key).get<T>();
        } catch (const Json::exception&) {
            Fail(where + "." + key, "has the wrong type");
        }
    }

    void ReadAttrs(const Json& object, const std::string& where,
                   std::map<std::string, std::string>& attrs) const {
        if (!object.contains("attrs")) {
            return;
        }
        const Json& value = object.at("attrs");
        if (!value.is_object()) {
            Fail(where + ".attrs", "must be an object of strings");
        }
        for (const auto& [name, text] : value.items()) {
            if (!text.is_string()) {
                Fail(where + ".attrs." + name, "must be a string");
            }
            attrs[name] = text.get<std::string>();
        }
    }

  private:
    std::string origin_;
};

std::string DomainPart(const std::string& account) {
    return account.substr(account.find('@') + 1);
}

}  // namespace

ServerConfig ServerConfig::FromJson(std::string_view text, const std::string& origin) {
    Reader reader(origin);
    Json root;
    try {
        root = Json::parse(text);
    } catch (const Json::parse_error& error) {
        throw std::runtime_error(origin + ": not valid JSON: " + error.what());
    }
    reader.OnlyKeys(root, "configuration",
                    {"serverVersion", "tokenLifetimeMs", "maxTags", "maxUploadBytes", "defaultDomain",
                     "downloadsPage", "domains", "accounts"});
    ServerConfig config;
    config.downloadsPage = DefaultDownloadsPage;
    reader.Read(root, "configuration", "serverVersion", config.serverVersion);
    reader.Read(root, "configuration", "tokenLifetimeMs", config.tokenLifetimeMs);
    reader.Read(root, "configuration", "maxTags", config.maxTags);
    reader.Read(root, "configuration", "maxUploadBytes", config.maxUploadBytes);
    reader.Read(root, "configuration", "defaultDomain", config.defaultDomain);
    reader.Read(root, "configuration", "downloadsPage", config.downloadsPage);
    if (config.tokenLifetimeMs <= 0 || config.maxTags < 0 || config.maxUploadBytes <= 0) {
        reader.Fail("configuration",
                    "tokenLifetimeMs and maxUploadBytes must be positive, maxTags not negative");
    }

    std::set<std::string> domainKeys;
    const Json domains = root.value("domains", Json::array());
    if (!domains.is_array()) {
        reader.Fail("configuration.domains", "must be an array");
    }
    for (size_t i = 0; i < domains.size(); ++i) {
        std::string where = "domains[" + std::to_string(i) + "]";
        reader.OnlyKeys(domains[i], where, {"name", "publicServiceHostname", "attrs"});
        DomainConfig domain;
        reader.Read(domains[i], where, "name", domain.name);
        reader.Read(domains[i], where, "publicServiceHostname", domain.publicServiceHostname);
        reader.ReadAttrs(domains[i], where, domain.attrs);
        if (domain.name.empty() || !domainKeys.insert(FoldCase(domain.name)).second) {
            reader.Fail(where + ".name", "missing or given twice");
        }
        config.domains.push_back(std::move(domain));
    }

    std::set<std::string> accountKeys;
    const Json accounts = root.value("accounts", Json::array());
    if (!accounts.is_array()) {
        reader.Fail("configuration.accounts", "must be an array");
    }
    for (size_t i = 0; i < accounts.size(); ++i) {
        std::string where = "accounts[" + std::to_string(i) + "]";
        reader.OnlyKeys(accounts[i], where,
                        {"name", "password", "admin", "domainAdmin", "quota", "used", "attrs"});
        AccountConfig account;
        reader.Read(accounts[i], where, "name", account.name);
        reader.Read(accounts[i], where, "password", account.password);
        reader.Read(accounts[i], where, "admin", account.admin);
        reader.Read(accounts[i], where, "domainAdmin", account.domainAdmin);
        reader.Read(accounts[i], where, "quota", account.quota);
        reader.Read(accounts[i], where, "used", account.used);
        reader.ReadAttrs(accounts[i], where, account.attrs);
        size_t at = account.name.find('@');
        if (at == std::string::npos || at == 0 || at + 1 == account.name.size() ||
            account.name.find('@', at + 1) != std::string::npos) {
            reader.Fail(where + ".name", "must be user@domain");
        }
        if (!accountKeys.insert(FoldCase(account.name)).second) {
            reader.Fail(where + ".name", "given twice");
        }
        if (account.quota < 0 || account.used < 0) {
            reader.Fail(where, "quota and used must not be negative");
        }
        if (domainKeys.insert(FoldCase(DomainPart(account.name))).second) {
            config.domains.push_back(DomainConfig{DomainPart(account.name), {}, {}});
        }
        config.accounts.push_back(std::move(account));
    }
    if (config.defaultDomain.empty() && !config.domains.empty()) {
        config.defaultDomain = config.domains.front().name;
    }
    if (!config.defaultDomain.empty() && !domainKeys.contains(FoldCase(config.defaultDomain))) {
        reader.Fail("configuration.defaultDomain", "names no domain of the configuration");
    }
    return config;
}

ServerConfig ServerConfig::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error(path + ": cannot be read");
    }
    std::ostringstream text;
    text << in.rdbuf();
    return FromJson(text.str(), path);
}

std::string ServerConfig::DefaultJson() {
    return R"json({
  "domains": [{"name": "example.com"}],
  "accounts": [
    {"name": "user@example.com", "password": "secret"},
    {"name": "admin@example.com", "password": "secret", "admin": true}
  ]
}
)json";
}

}  // namespace Tarvik::TestServer
