#pragma once
// Scripted faults: a list of rules read from a JSON file (format in testserver/README.md). Each rule
// matches requests by operation, account, request id inside a batch and occurrence, and acts on the
// requests it matches: answer a SOAP fault, answer an HTTP error page or any given answer, delay,
// close the connection (before or after carrying the request out, or in the middle of the answer),
// or expire the session. Thread-safe: the occurrence counters are shared by all connections.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Tarvik::TestServer {

enum class ActionKind { Fault, HttpError, Answer, Delay, Close, ExpireSession };

// When an HTTP error, a given answer or a closed connection happens: before the request is carried
// out (nothing is stored), after it (stored, but the client never learns of it), or, for Close, in
// the middle of sending the answer.
enum class Timing { Before, After, Middle };

struct ScenarioAction {
    ActionKind kind = ActionKind::Fault;
    std::string code;    // Fault
    std::string reason;  // Fault
    int status = 500;    // HttpError, Answer
    std::string contentType;
    std::string body;
    int delayMs = 0;  // Delay
    Timing when = Timing::Before;
};

// What a rule can match on. `operation` is the request element's name ("AddMsgRequest",
// "BatchRequest", ...), "upload" or "downloads"; `requestId` is set for requests inside a batch.
struct RequestFacts {
    std::string operation;
    std::string account;
    std::optional<std::string> requestId;
};

struct ScenarioDecision {
    int delayMs = 0;                       // sum of the delays of every rule that fired
    std::optional<ScenarioAction> action;  // the first other rule that fired, in file order
};

class Scenario {
  public:
    Scenario() = default;
    // Throws std::runtime_error naming `origin` and the problem.
    static Scenario FromJson(std::string_view text, const std::string& origin);
    static Scenario Load(const std::string& path);

    bool Empty() const { return rules_.empty(); }
    // Counts the request against every rule that matches it and says what to do.
    ScenarioDecision Decide(const RequestFacts& facts);

  private:
    struct Rule {
        std::optional<std::string> operation;
        std::optional<std::string> account;  // folded
        std::optional<std::string> requestId;
        int64_t occurrence = 1;
        int64_t times = 0;  // 0: no limit
        ScenarioAction action;
        int64_t seen = 0;
    };
    static bool Matches(const Rule& rule, const RequestFacts& facts);

    std::vector<Rule> rules_;
    std::unique_ptr<std::mutex> mutex_ = std::make_unique<std::mutex>();  // keeps the scenario movable
};

}  // namespace Tarvik::TestServer
