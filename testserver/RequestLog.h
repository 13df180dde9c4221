#pragma once
// What the server did with each HTTP request, for people (one line on standard error) and for tests
// (one JSON object per line in an optional file): path, operation, account, per-request results
// inside a batch, HTTP status and what a scenario did. Thread-safe.

#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace Tarvik::TestServer {

struct RequestRecord {
    struct Child {
        std::string operation;
        std::string requestId;
        std::string result;  // "ok" or the fault code
    };
    std::string path;
    std::string operation;  // request element name, "upload" or "downloads"
    std::string account;
    int status = 0;
    std::string result;    // "ok", a fault code, or what a scenario did ("dropped", "scripted answer")
    std::string scenario;  // the scripted action that fired, empty for none
    std::vector<Child> children;
    double milliseconds = 0;
};

class RequestLog {
  public:
    // `jsonPath` may be empty (no file; else lines are appended); `quiet` silences standard error.
    RequestLog(const std::string& jsonPath, bool quiet);

    void Write(const RequestRecord& record);

  private:
    std::mutex mutex_;
    std::ofstream json_;
    bool quiet_;
    uint64_t sequence_ = 0;
};

}  // namespace Tarvik::TestServer
