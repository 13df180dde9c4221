#include "mapi/LdapDirectory.h"

#include <ldap.h>

#include <fmt/format.h>
#include <algorithm>
#include <cctype>
#include <memory>
#include <vector>

namespace Tarvik::MAPI {

namespace {

constexpr int timeLimitSeconds = 15;

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// A path split into the URI libldap connects to and the search base after the host.
struct LdapPath {
    std::string uri;
    std::string base;
};

LdapPath ParsePath(std::string_view path) {
    std::string scheme = "ldap://";
    if (StartsWithIgnoringCase(path, "ldaps://")) {
        scheme = "ldaps://";
    }
    path.remove_prefix(std::min(path.size(), path.find("://") + 3));
    size_t slash = path.find('/');
    LdapPath parsed{scheme + std::string(path.substr(0, slash)), {}};
    if (slash != std::string_view::npos) {
        parsed.base = std::string(path.substr(slash + 1));
    }
    return parsed;
}

void AppendFilterEscaped(std::string& filter, std::string_view value) {
    for (char c : value) {
        if (c == '*' || c == '(' || c == ')' || c == '\\' || c == '\0') {
            filter += fmt::format("\\{:02x}", static_cast<unsigned char>(c));
        } else {
            filter += c;
        }
    }
}

// "/o=Org/ou=Site/cn=user" -> "cn=user,ou=Site,o=Org", with the characters that DNs reserve escaped
// inside each value.
std::string LdapFormOf(std::string_view legacyExchangeDn) {
    std::vector<std::string_view> components;
    size_t pos = 0;
    while (pos <= legacyExchangeDn.size()) {
        size_t slash = std::min(legacyExchangeDn.find('/', pos), legacyExchangeDn.size());
        if (slash > pos) {
            components.push_back(legacyExchangeDn.substr(pos, slash - pos));
        }
        pos = slash + 1;
    }
    std::string dn;
    for (auto it = components.rbegin(); it != components.rend(); ++it) {
        if (!dn.empty()) {
            dn += ',';
        }
        size_t equals = it->find('=');
        size_t valueStart = equals == std::string_view::npos ? 0 : equals + 1;
        dn += it->substr(0, valueStart);
        for (char c : it->substr(valueStart)) {
            if (std::string_view(",+\"\\<>;").find(c) != std::string_view::npos) {
                dn += '\\';
            }
            dn += c;
        }
    }
    return dn;
}

struct MessageDeleter {
    void operator()(LDAPMessage* message) const { ldap_msgfree(message); }
};
using MessagePtr = std::unique_ptr<LDAPMessage, MessageDeleter>;

struct ValuesDeleter {
    void operator()(berval** values) const { ldap_value_free_len(values); }
};
using ValuesPtr = std::unique_ptr<berval*, ValuesDeleter>;

}  // namespace

std::string DirectoryPath(std::string_view server) {
    if (StartsWithIgnoringCase(server, "ldap://") || StartsWithIgnoringCase(server, "ldaps://")) {
        return std::string(server);
    }
    return "LDAP://" + std::string(server);
}

std::string ExchangeAddressFilter(std::string_view legacyExchangeDn) {
    std::string filter = "(|(distinguishedName=";
    AppendFilterEscaped(filter, LdapFormOf(legacyExchangeDn));
    filter += ")(legacyExchangeDN=";
    AppendFilterEscaped(filter, legacyExchangeDn);
    filter += "))";
    return filter;
}

LdapDirectory::LdapDirectory(const DirectorySettings& settings) {
    LdapPath path = ParsePath(DirectoryPath(settings.server));
    uri_ = path.uri;
    int result = ldap_initialize(&ldap_, uri_.c_str());
    if (result != LDAP_SUCCESS) {
        ldap_ = nullptr;
        Fail("cannot use the directory address", result);
    }
    int version = LDAP_VERSION3;
    timeval limit{timeLimitSeconds, 0};
    ldap_set_option(ldap_, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ldap_, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    ldap_set_option(ldap_, LDAP_OPT_NETWORK_TIMEOUT, &limit);
    ldap_set_option(ldap_, LDAP_OPT_TIMEOUT, &limit);
    try {
        Bind(settings);
        base_ = path.base.empty() ? DefaultNamingContext() : path.base;
    } catch (...) {
        ldap_unbind_ext_s(ldap_, nullptr, nullptr);
        throw;
    }
}

LdapDirectory::~LdapDirectory() {
    ldap_unbind_ext_s(ldap_, nullptr, nullptr);
}

void LdapDirectory::Bind(const DirectorySettings& settings) {
    bool anonymous = settings.user.empty() && settings.password.empty();
    std::string password = anonymous ? std::string() : settings.password;
    berval credentials{static_cast<ber_len_t>(password.size()), password.data()};
    int result = ldap_sasl_bind_s(ldap_, anonymous ? nullptr : settings.user.c_str(), LDAP_SASL_SIMPLE,
                                  &credentials, nullptr, nullptr, nullptr);
    if (result != LDAP_SUCCESS) {
        Fail(anonymous ? "anonymous bind failed" : fmt::format("bind as {} failed", settings.user), result);
    }
}

// The base of the searches when the path names none: what the server's root entry announces.
std::string LdapDirectory::DefaultNamingContext() {
    char defaultContext[] = "defaultNamingContext";
    char namingContexts[] = "namingContexts";
    char* attributes[] = {defaultContext, namingContexts, nullptr};
    timeval limit{timeLimitSeconds, 0};
    LDAPMessage* raw = nullptr;
    int result = ldap_search_ext_s(ldap_, "", LDAP_SCOPE_BASE, "(objectClass=*)", attributes, 0, nullptr,
                                   nullptr, &limit, 1, &raw);
    MessagePtr message(raw);
    if (result != LDAP_SUCCESS) {
        return {};  // search from the root of the directory
    }
    LDAPMessage* entry = ldap_first_entry(ldap_, message.get());
    for (const char* attribute : {defaultContext, namingContexts}) {
        if (entry == nullptr) {
            break;
        }
        ValuesPtr values(ldap_get_values_len(ldap_, entry, attribute));
        if (values && values.get()[0] != nullptr) {
            return std::string(values.get()[0]->bv_val, values.get()[0]->bv_len);
        }
    }
    return {};
}

std::string LdapDirectory::FindMail(std::string_view legacyExchangeDn) {
    std::string filter = ExchangeAddressFilter(legacyExchangeDn);
    char mail[] = "mail";
    char* attributes[] = {mail, nullptr};
    timeval limit{timeLimitSeconds, 0};
    LDAPMessage* raw = nullptr;
    int result = ldap_search_ext_s(ldap_, base_.c_str(), LDAP_SCOPE_SUBTREE, filter.c_str(), attributes, 0,
                                   nullptr, nullptr, &limit, 1, &raw);
    MessagePtr message(raw);
    if (result != LDAP_SUCCESS && result != LDAP_SIZELIMIT_EXCEEDED) {
        Fail(fmt::format("search for {} failed", legacyExchangeDn), result);
    }
    LDAPMessage* entry = ldap_first_entry(ldap_, message.get());
    if (entry == nullptr) {
        return {};
    }
    ValuesPtr values(ldap_get_values_len(ldap_, entry, mail));
    if (!values || values.get()[0] == nullptr) {
        return {};
    }
    return std::string(values.get()[0]->bv_val, values.get()[0]->bv_len);
}

void LdapDirectory::Fail(std::string_view what, int code) const {
    throw DirectoryError(fmt::format("{}: {} ({})", uri_, what, ldap_err2string(code)));
}

}  // namespace Tarvik::MAPI
