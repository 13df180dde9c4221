#include "tests/support/SlapdServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace TestSupport {

namespace fs = std::filesystem;

namespace {

const char* const slapdPath = "/usr/sbin/slapd";
const char* const slapaddPath = "/usr/sbin/slapadd";
const char* const schemaDir = "/etc/ldap/schema";
const char* const moduleDir = "/usr/lib/ldap";

bool Accepts(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

}  // namespace

bool SlapdServer::Available() {
    return access(slapdPath, X_OK) == 0 && access(slapaddPath, X_OK) == 0;
}

SlapdServer::SlapdServer(const Options& options) : suffix_(options.suffix) {
    fs::create_directory(dir_ / "db");
    std::ofstream config(dir_ / "slapd.conf");
    for (const char* schema : {"core", "cosine", "inetorgperson"}) {
        config << "include " << schemaDir << "/" << schema << ".schema\n";
    }
    for (const fs::path& schema : options.extraSchemas) {
        config << "include " << fs::absolute(schema).string() << "\n";
    }
    config << "pidfile " << (dir_ / "slapd.pid").string() << "\n"
           << "modulepath " << moduleDir << "\n"
           << "moduleload back_mdb\n"
           << "database mdb\n"
           << "maxsize 10485760\n"
           << "suffix \"" << suffix_ << "\"\n"
           << "rootdn \"" << RootDn() << "\"\n"
           << "rootpw " << RootPassword() << "\n"
           << "directory " << (dir_ / "db").string() << "\n";
    config.close();
    WriteFile(dir_ / "data.ldif", options.ldif);

    CommandResult loaded =
        RunCommand({slapaddPath, "-f", (dir_ / "slapd.conf").string(), "-l", (dir_ / "data.ldif").string()});
    if (loaded.exitCode != 0) {
        throw std::runtime_error("slapadd failed: " + loaded.err);
    }

    port_ = FreePort();
    std::string listen = Uri() + "/";
    std::string log = (dir_ / "slapd.log").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<std::string> args = {slapdPath, "-f", (dir_ / "slapd.conf").string(), "-h", listen,
                                     "-d",      "0"};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int spawned = posix_spawn(&pid_, slapdPath, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start slapd");
    }
    // Wait until it listens (-d keeps slapd in the foreground, so it stays our child).
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (Accepts(port_)) {
            return;
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("slapd stopped at start: " + ReadFile(log));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Stop();
    throw std::runtime_error("slapd did not start listening: " + ReadFile(log));
}

SlapdServer::~SlapdServer() {
    Stop();
}

std::string SlapdServer::Uri() const {
    return "ldap://127.0.0.1:" + std::to_string(port_);
}

void SlapdServer::Stop() {
    if (pid_ <= 0) {
        return;
    }
    kill(pid_, SIGTERM);
    int status = 0;
    for (int attempt = 0; attempt < 100 && waitpid(pid_, &status, WNOHANG) == 0; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (waitpid(pid_, &status, WNOHANG) == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
}

}  // namespace TestSupport
