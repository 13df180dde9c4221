#pragma once
// A small HTTP server on 127.0.0.1 that plays a scenario (HttpScenario.h): it answers the requests
// it receives, in order, as the scenario says, and records every request and every difference from
// the expected bytes. Plain TCP by default; a test may wrap each connection (in TLS, say) through a
// channel factory. Connections are served concurrently, so a client may open a new one at any time.

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/support/HttpScenario.h"

namespace TestSupport {

// The byte stream of one accepted connection.
class Channel {
  public:
    virtual ~Channel() = default;
    // Bytes read (0 at the end, negative on error).
    virtual ssize_t Read(char* buffer, size_t size) = 0;
    virtual bool Write(std::string_view bytes) = 0;
};

// Wraps an accepted socket (owned by the responder); nothing when the handshake failed.
using ChannelFactory = std::function<std::unique_ptr<Channel>(int fd)>;

class ScriptedHttpResponder {
  public:
    struct Received {
        std::string bytes;
        int connection = 0;  // 1 for the first accepted connection, 2 for the next, ...
    };

    // Listens on a free port; %{PORT} in the scenario is that port.
    explicit ScriptedHttpResponder(const std::filesystem::path& scenario,
                                   std::map<std::string, std::string> variables = {},
                                   ChannelFactory channels = nullptr);
    ~ScriptedHttpResponder();
    ScriptedHttpResponder(const ScriptedHttpResponder&) = delete;
    ScriptedHttpResponder& operator=(const ScriptedHttpResponder&) = delete;

    int Port() const { return port_; }

    // Waits briefly for the scripted exchanges still outstanding, then lists what went wrong:
    // requests that differ from the scenario, requests beyond it, exchanges never reached.
    std::vector<std::string> Problems();
    std::vector<Received> Requests();
    int Connections() const { return connections_; }

  private:
    void AcceptLoop();
    void Serve(int fd, int connection);
    bool ReadRequest(Channel& channel, std::string& pending, std::string& request);
    void Stop();

    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    int port_ = 0;
    std::unique_ptr<HttpScenario> scenario_;
    ChannelFactory channels_;
    std::thread acceptThread_;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    size_t next_ = 0;    // the next exchange of the sequence
    size_t served_ = 0;  // exchanges whose answer is complete
    std::vector<Received> requests_;
    std::vector<std::string> problems_;
    std::vector<int> openFds_;
    std::vector<std::thread> connectionThreads_;
    std::atomic<int> connections_{0};
};

}  // namespace TestSupport
