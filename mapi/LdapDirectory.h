#pragma once
// A connection to an LDAP directory (Active Directory or any LDAP server whose entries carry
// legacyExchangeDN and mail) that maps Exchange addresses to SMTP addresses. ldap:// and ldaps://
// are supported; the bind is a simple bind with the configured account, or anonymous. Every network
// operation has a time limit, so an unreachable server cannot stall an import.

#include <stdexcept>
#include <string>
#include <string_view>

#include "mapi/DirectoryPrompt.h"

typedef struct ldap LDAP;

namespace Tarvik::MAPI {

// A failed connection, bind or search; the message names the server and the reason.
class DirectoryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The stored form of a directory server: kept as it is when it names its scheme ("LDAP://",
// "ldaps://", any case), else "LDAP://" followed by the server.
std::string DirectoryPath(std::string_view server);

// The search filter for an Exchange address (a legacy distinguished name such as
// /o=Org/ou=Site/cn=Recipients/cn=user): the entry whose distinguishedName is the address in LDAP
// form (cn=user,cn=Recipients,ou=Site,o=Org) or whose legacyExchangeDN is the address. Special
// characters of the address are escaped, so that an address cannot widen the search.
std::string ExchangeAddressFilter(std::string_view legacyExchangeDn);

class LdapDirectory {
  public:
    // Connects and binds. The search base is the one the path names after the host
    // ("LDAP://host/dc=example,dc=org"), else the server's default naming context.
    // Throws DirectoryError.
    explicit LdapDirectory(const DirectorySettings& settings);
    ~LdapDirectory();
    LdapDirectory(const LdapDirectory&) = delete;
    LdapDirectory& operator=(const LdapDirectory&) = delete;

    // The first "mail" value of the entry that an Exchange address names; empty when no entry
    // matches or the entry has no mail. Throws DirectoryError when the search fails.
    std::string FindMail(std::string_view legacyExchangeDn);

  private:
    void Bind(const DirectorySettings& settings);
    std::string DefaultNamingContext();
    [[noreturn]] void Fail(std::string_view what, int code) const;

    LDAP* ldap_ = nullptr;
    std::string uri_;
    std::string base_;
};

}  // namespace Tarvik::MAPI
