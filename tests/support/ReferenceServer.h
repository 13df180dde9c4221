#pragma once
// Starts the reference Tarvik server (tvk-testserver) for a test: on 127.0.0.1 with a port it picks
// itself, with an accounts configuration and an optional scenario of scripted faults, plain HTTP or
// HTTPS with a fresh self-signed certificate, and a database file in its own scratch directory.
// The constructor returns once the server answers; the destructor stops it.
//
//   TestSupport::ReferenceServer server;                          // user@example.com / secret
//   httpClient.Post(server.SoapUrl(), ...);
//   nlohmann::ordered_json inbox = server.Dump("user@example.com")["messages"];
//
// A test target that uses it must depend on the server binary:
//   add_dependencies(<test target> tvk-testserver)
// The dump, configuration and scenario formats are described in testserver/README.md.

#include <sys/types.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace TestSupport {

struct ReferenceServerOptions {
    // Initialised members let callers name only what they set: ReferenceServerOptions{.tls = true}.
    std::string config = {};  // accounts configuration as JSON text; empty: ReferenceServer::DefaultConfig()
    std::string scenario = {};  // scripted faults as JSON text; empty: none
    bool tls = false;           // serve HTTPS with a self-signed certificate for 127.0.0.1
    bool requestLog = true;     // keep the request log that Requests() reads (benchmarks turn it off)
    std::vector<std::string> extraArguments = {};  // further command-line arguments of the server
};

class ReferenceServer {
  public:
    // Starts the server; throws std::runtime_error with the server's log when it does not come up.
    explicit ReferenceServer(ReferenceServerOptions options = {});
    ~ReferenceServer();
    ReferenceServer(const ReferenceServer&) = delete;
    ReferenceServer& operator=(const ReferenceServer&) = delete;

    // Stops the server (SIGTERM, then SIGKILL after ten seconds); the database stays.
    void Stop();
    // Starts it again on the same database and port (after Stop): what it stored survives, its
    // sessions do not, and the scenario starts counting again.
    void Restart();
    bool Running() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    std::string Host() const { return "127.0.0.1"; }
    int Port() const { return port_; }
    bool Tls() const { return options_.tls; }
    std::string BaseUrl() const;       // http://127.0.0.1:PORT or https://...
    std::string SoapUrl() const;       // BaseUrl() + "/service/soap/"
    std::string AdminSoapUrl() const;  // BaseUrl() + "/service/admin/soap/"
    std::string UploadUrl() const;     // BaseUrl() + "/service/upload?fmt=raw"

    const std::filesystem::path& Directory() const { return directory_.Path(); }
    std::filesystem::path DatabasePath() const { return directory_ / "server.db"; }
    std::filesystem::path CertificatePath() const { return directory_ / "cert.pem"; }  // with tls

    // The content of one account as `tvk-testserver dump` prints it (the server may be running).
    nlohmann::ordered_json Dump(const std::string& account, bool withBytes = true) const;
    // Every request the server has handled so far, one JSON object each (request log format).
    std::vector<nlohmann::json> Requests() const;
    // What the server wrote to standard error so far (one line per request).
    std::string Log() const;

    // The server binary: $TVK_TESTSERVER when set, else testserver/tvk-testserver in $TVK_BINARY_DIR
    // or in the nearest directory above the running program that has it.
    static std::filesystem::path Binary();
    // The configuration used when none is given (example.com: user@example.com and the
    // administrator admin@example.com, both with password "secret").
    static std::string DefaultConfig();

  private:
    void Start(int port);

    ReferenceServerOptions options_;
    TempDir directory_;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace TestSupport
