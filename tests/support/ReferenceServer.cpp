#include "tests/support/ReferenceServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace TestSupport {

namespace fs = std::filesystem;

namespace {

constexpr auto StartTimeout = std::chrono::seconds(30);  // sanitizer builds start slowly
constexpr auto StopTimeout = std::chrono::seconds(10);

// Reads the server's first line of standard output ("... listening on http://127.0.0.1:PORT").
std::string ReadReadyLine(int fd) {
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + StartTimeout;
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        pollfd wait{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&wait, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[256];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        line.append(buffer, static_cast<size_t>(n));
    }
    return line;
}

bool WaitForExit(pid_t pid, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

fs::path ReferenceServer::Binary() {
    if (const char* path = getenv("TVK_TESTSERVER"); path != nullptr && *path != '\0') {
        return path;
    }
    const fs::path relative = fs::path("testserver") / "tvk-testserver";
    if (const char* build = getenv("TVK_BINARY_DIR"); build != nullptr && *build != '\0') {
        return fs::path(build) / relative;
    }
    // Tests and benchmarks live below the build tree: look upwards from the running program.
    std::error_code error;
    for (fs::path dir = fs::read_symlink("/proc/self/exe", error).parent_path(); !dir.empty();
         dir = dir.parent_path()) {
        if (fs::exists(dir / relative)) {
            return dir / relative;
        }
        if (dir == dir.root_path()) {
            break;
        }
    }
    return BinaryDir() / relative;
}

std::string ReferenceServer::DefaultConfig() {
    return R"json({
  "domains": [{"name": "example.com"}],
  "accounts": [
    {"name": "user@example.com", "password": "secret"},
    {"name": "admin@example.com", "password": "secret", "admin": true}
  ]
}
)json";
}

ReferenceServer::ReferenceServer(ReferenceServerOptions options) : options_(std::move(options)) {
    WriteFile(directory_ / "config.json", options_.config.empty() ? DefaultConfig() : options_.config);
    if (!options_.scenario.empty()) {
        WriteFile(directory_ / "scenario.json", options_.scenario);
    }
    if (options_.tls) {
        CommandResult made = RunCommand(
            {"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-keyout", (directory_ / "key.pem").string(), "-out", CertificatePath().string(), "-days", "2",
             "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost"});
        if (made.exitCode != 0) {
            throw std::runtime_error("openssl could not make a certificate: " + made.err);
        }
    }
    Start(0);
}

ReferenceServer::~ReferenceServer() {
    try {
        Stop();
    } catch (...) {
        // A destructor must not throw; the process is killed in Stop() anyway.
    }
}

void ReferenceServer::Start(int port) {
    std::vector<std::string> args = {Binary().string(),
                                     "serve",
                                     "--config",
                                     (directory_ / "config.json").string(),
                                     "--db",
                                     DatabasePath().string(),
                                     "--host",
                                     Host(),
                                     "--port",
                                     std::to_string(port)};
    if (options_.requestLog) {
        args.insert(args.end(), {"--request-log", (directory_ / "requests.jsonl").string()});
    }
    if (!options_.scenario.empty()) {
        args.insert(args.end(), {"--scenario", (directory_ / "scenario.json").string()});
    }
    if (options_.tls) {
        args.insert(args.end(),
                    {"--cert", CertificatePath().string(), "--key", (directory_ / "key.pem").string()});
    }
    args.insert(args.end(), options_.extraArguments.begin(), options_.extraArguments.end());

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::string logPath = (directory_ / "server.log").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        pid_ = -1;
        throw std::runtime_error("cannot start " + args[0] + " (build the target tvk-testserver)");
    }
    std::string ready = ReadReadyLine(out[0]);
    close(out[0]);
    size_t colon = ready.rfind(':');
    if (ready.find("listening on") == std::string::npos || colon == std::string::npos) {
        Stop();
        throw std::runtime_error("tvk-testserver did not start:\n" + Log());
    }
    port_ = std::stoi(ready.substr(colon + 1));
}

void ReferenceServer::Stop() {
    if (pid_ <= 0) {
        return;
    }
    kill(pid_, SIGTERM);
    if (!WaitForExit(pid_, StopTimeout)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
}

void ReferenceServer::Restart() {
    Stop();
    Start(port_);
}

std::string ReferenceServer::BaseUrl() const {
    return std::string(Tls() ? "https" : "http") + "://" + Host() + ":" + std::to_string(port_);
}
std::string ReferenceServer::SoapUrl() const {
    return BaseUrl() + "/service/soap/";
}
std::string ReferenceServer::AdminSoapUrl() const {
    return BaseUrl() + "/service/admin/soap/";
}
std::string ReferenceServer::UploadUrl() const {
    return BaseUrl() + "/service/upload?fmt=raw";
}

nlohmann::ordered_json ReferenceServer::Dump(const std::string& account, bool withBytes) const {
    std::vector<std::string> args = {Binary().string(),       "dump",      "--db",
                                     DatabasePath().string(), "--account", account};
    if (!withBytes) {
        args.push_back("--no-bytes");
    }
    CommandResult result = RunCommand(args);
    if (result.exitCode != 0) {
        throw std::runtime_error("tvk-testserver dump failed: " + result.err);
    }
    return nlohmann::ordered_json::parse(result.out);
}

std::vector<nlohmann::json> ReferenceServer::Requests() const {
    std::vector<nlohmann::json> requests;
    std::istringstream lines(ReadFile(directory_ / "requests.jsonl"));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) {
            requests.push_back(nlohmann::json::parse(line));
        }
    }
    return requests;
}

std::string ReferenceServer::Log() const {
    return ReadFile(directory_ / "server.log");
}

}  // namespace TestSupport
