#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace TestSupport {

namespace fs = std::filesystem;

namespace {

fs::path FromEnvironment(const char* name, const fs::path& fallback) {
    const char* value = getenv(name);
    return value != nullptr && *value != '\0' ? fs::path(value) : fallback;
}

}  // namespace

fs::path SourceDir() { return FromEnvironment("TVK_SOURCE_DIR", TVK_DEFAULT_SOURCE_DIR); }
fs::path BinaryDir() { return FromEnvironment("TVK_BINARY_DIR", TVK_DEFAULT_BINARY_DIR); }
fs::path SharedDir() { return FromEnvironment("TVK_SHARED_DIR", TVK_DEFAULT_SHARED_DIR).lexically_normal(); }

std::optional<fs::path> CorpusDir() {
    fs::path corpus = SharedDir() / "corpus";
    if (fs::exists(corpus / "MANIFEST.md")) {
        return corpus;
    }
    return std::nullopt;
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tvk-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input,
                         const std::vector<std::string>& extraEnvironment) {
    signal(SIGPIPE, SIG_IGN);  // a child that stops reading must not kill the test
    int inPipe[2], outPipe[2], errPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) != 0 || pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);

    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
    }
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argvp;
    for (auto& arg : args) argvp.push_back(arg.data());
    argvp.push_back(nullptr);

    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, argvp[0], &actions, nullptr, argvp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    CommandResult result;
    if (spawned != 0) {
        close(inPipe[1]);
        close(outPipe[0]);
        close(errPipe[0]);
        result.exitCode = 127;
        result.err = "cannot start " + argv[0];
        return result;
    }

    // Feed input and drain both outputs together so that no pipe fills up and blocks the child.
    size_t written = 0;
    int inFd = inPipe[1];
    if (input.empty()) {
        close(inFd);
        inFd = -1;
    }
    int openOutputs = 2;
    while (openOutputs > 0 || inFd >= 0) {
        pollfd fds[3] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}, {inFd, POLLOUT, 0}};
        poll(fds, 3, -1);
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buffer[65536];
                ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
                } else {
                    close(fds[i].fd);
                    (i == 0 ? outPipe[0] : errPipe[0]) = -1;
                    --openOutputs;
                }
            }
        }
        if (inFd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t n = write(inFd, input.data() + written, input.size() - written);
            if (n > 0) written += static_cast<size_t>(n);
            if (n <= 0 || written == input.size()) {
                close(inFd);
                inFd = -1;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

}  // namespace TestSupport
