#include "tests/support/ScriptedHttpResponder.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <stdexcept>

namespace TestSupport {

namespace {

class PlainChannel : public Channel {
  public:
    explicit PlainChannel(int fd) : fd_(fd) {}
    ssize_t Read(char* buffer, size_t size) override { return recv(fd_, buffer, size, 0); }
    bool Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0) {
                return false;
            }
            bytes.remove_prefix(static_cast<size_t>(sent));
        }
        return true;
    }

  private:
    int fd_;
};

// The Content-Length of a request head, 0 when it has none.
size_t ContentLength(const std::string& head) {
    std::string lower = head;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    size_t at = lower.find("\r\ncontent-length:");
    return at == std::string::npos ? 0 : std::stoul(head.substr(at + 17));
}

// Makes the coming close send a reset instead of an orderly end.
void ArmReset(int fd) {
    linger option{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
}

}  // namespace

ScriptedHttpResponder::ScriptedHttpResponder(const std::filesystem::path& scenario,
                                             std::map<std::string, std::string> variables,
                                             ChannelFactory channels)
    : channels_(std::move(channels)) {
    signal(SIGPIPE, SIG_IGN);  // a client that goes away must not end the test
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listenFd_, 16) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        pipe2(wakeFds_, O_CLOEXEC) != 0) {
        throw std::runtime_error("the scripted responder cannot listen");
    }
    port_ = ntohs(address.sin_port);
    variables.emplace("PORT", std::to_string(port_));
    scenario_ = std::make_unique<HttpScenario>(scenario, std::move(variables));
    acceptThread_ = std::thread(&ScriptedHttpResponder::AcceptLoop, this);
}

ScriptedHttpResponder::~ScriptedHttpResponder() {
    Stop();
}

void ScriptedHttpResponder::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (int fd : openFds_) {
            shutdown(fd, SHUT_RDWR);
        }
    }
    changed_.notify_all();
    if (write(wakeFds_[1], "x", 1) < 0) {
        // The accept loop also ends when the listening socket is shut down.
        shutdown(listenFd_, SHUT_RDWR);
    }
    acceptThread_.join();
    for (std::thread& thread : connectionThreads_) {
        thread.join();
    }
    close(listenFd_);
    close(wakeFds_[0]);
    close(wakeFds_[1]);
}

void ScriptedHttpResponder::AcceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN) != 0) {
            return;
        }
        int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        std::lock_guard lock(mutex_);
        if (stopping_) {
            close(fd);
            return;
        }
        openFds_.push_back(fd);
        connectionThreads_.emplace_back(&ScriptedHttpResponder::Serve, this, fd, ++connections_);
    }
}

bool ScriptedHttpResponder::ReadRequest(Channel& channel, std::string& pending, std::string& request) {
    char buffer[65536];
    size_t headEnd = std::string::npos;
    size_t total = 0;
    for (;;) {
        if (headEnd == std::string::npos) {
            headEnd = pending.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                total = headEnd + 4 + ContentLength(pending.substr(0, headEnd + 2));
            }
        }
        if (headEnd != std::string::npos && pending.size() >= total) {
            request = pending.substr(0, total);
            pending.erase(0, total);
            return true;
        }
        ssize_t got = channel.Read(buffer, sizeof buffer);
        if (got <= 0) {
            return false;
        }
        pending.append(buffer, static_cast<size_t>(got));
    }
}

void ScriptedHttpResponder::Serve(int fd, int connection) {
    std::unique_ptr<Channel> channel = channels_ ? channels_(fd) : std::make_unique<PlainChannel>(fd);
    std::string pending;
    std::string request;
    while (channel && ReadRequest(*channel, pending, request)) {
        HttpScenario::Exchange exchange;
        size_t index = 0;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back({request, connection});
            index = next_++;
            if (index >= scenario_->Sequence().size()) {
                problems_.push_back("unexpected request: " + request.substr(0, request.find("\r\n")));
                break;
            }
            exchange = scenario_->Sequence()[index];
        }
        std::string difference = HttpScenario::Compare(exchange.request, request);
        std::unique_lock lock(mutex_);
        if (!difference.empty()) {
            problems_.push_back("exchange " + std::to_string(index + 1) + " " + exchange.name + ": " +
                                difference);
        }
        changed_.wait_for(lock, exchange.delay, [&] { return stopping_; });
        lock.unlock();

        bool keepOpen = false;
        if (exchange.action == HttpScenario::Action::Reply) {
            if (exchange.cut) {
                channel->Write(std::string_view(exchange.reply).substr(0, *exchange.cut));
                ArmReset(fd);
            } else {
                keepOpen = channel->Write(exchange.reply) && !exchange.closeAfterReply;
            }
        } else if (exchange.action == HttpScenario::Action::Reset) {
            ArmReset(fd);
        }
        lock.lock();
        ++served_;
        changed_.notify_all();
        if (exchange.action == HttpScenario::Action::Silence) {
            changed_.wait(lock, [&] { return stopping_; });
        }
        if (!keepOpen) {
            break;
        }
    }
    channel.reset();
    std::lock_guard lock(mutex_);
    openFds_.erase(std::find(openFds_.begin(), openFds_.end(), fd));
    close(fd);
}

std::vector<std::string> ScriptedHttpResponder::Problems() {
    std::unique_lock lock(mutex_);
    size_t expected = scenario_->Sequence().size();
    changed_.wait_for(lock, std::chrono::seconds(5), [&] { return served_ >= expected; });
    std::vector<std::string> problems = problems_;
    for (size_t i = next_; i < expected; ++i) {
        problems.push_back("exchange " + std::to_string(i + 1) + " " + scenario_->Sequence()[i].name +
                           " was never requested");
    }
    return problems;
}

std::vector<ScriptedHttpResponder::Received> ScriptedHttpResponder::Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

}  // namespace TestSupport
