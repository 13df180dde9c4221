#pragma once
// What the HTTP layer is to send for one request: status, type and body, or a connection closed
// before or in the middle of the answer (scripted faults).

#include <optional>
#include <string>

#include "testserver/RequestLog.h"
#include "testserver/Scenario.h"

namespace Tarvik::TestServer {

enum class Disconnect { None, BeforeAnswer, MiddleOfAnswer };

struct HttpAnswer {
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    Disconnect disconnect = Disconnect::None;
};

// The answer a scripted HTTP error, given answer or closed connection replaces the normal one by;
// `normal` is what would have been sent (its bytes are cut for a close in the middle).
HttpAnswer ScriptedAnswer(const ScenarioAction& action, HttpAnswer normal);

// Asks the scenario about one request: sleeps for the delays of the rules that fire, notes what
// fired in the record and returns the action to take, if any.
std::optional<ScenarioAction> ConsultScenario(Scenario& scenario, const RequestFacts& facts,
                                              RequestRecord& record);

// A short text for logs: "fault mail.NO_SUCH_FOLDER", "close middle", "delay 200 ms", ...
std::string DescribeAction(const ScenarioAction& action);

}  // namespace Tarvik::TestServer
