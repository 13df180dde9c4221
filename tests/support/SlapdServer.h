#pragma once
// A real OpenLDAP server for tests: a private slapd on 127.0.0.1 and a free port, with its own
// configuration, schema and data in a temporary directory, started by the constructor and stopped
// by the destructor. The standard schemas core, cosine and inetorgperson are always loaded.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace TestSupport {

class SlapdServer {
  public:
    struct Options {
        std::string suffix = "dc=example,dc=org";
        std::vector<std::filesystem::path> extraSchemas;  // more schema files (slapd.conf syntax)
        std::string ldif;                                 // the entries, the suffix entry included
    };

    // Loads the data and starts slapd; throws std::runtime_error (with slapd's own words) when it
    // cannot. Tests should GTEST_SKIP when Available() is false.
    explicit SlapdServer(const Options& options);
    ~SlapdServer();
    SlapdServer(const SlapdServer&) = delete;
    SlapdServer& operator=(const SlapdServer&) = delete;

    // True when slapd and slapadd are installed.
    static bool Available();

    int Port() const { return port_; }
    std::string Uri() const;  // "ldap://127.0.0.1:<port>"
    std::string RootDn() const { return "cn=admin," + suffix_; }
    std::string RootPassword() const { return "secret"; }

    // Stops the server early (the destructor does nothing more), to test an unreachable directory.
    void Stop();

  private:
    TempDir dir_;
    std::string suffix_;
    int port_ = 0;
    pid_t pid_ = -1;
};

}  // namespace TestSupport
