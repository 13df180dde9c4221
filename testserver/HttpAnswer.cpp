#include "testserver/HttpAnswer.h"

#include <chrono>
#include <thread>

namespace Tarvik::TestServer {

namespace {

const char* TimingName(Timing when) {
    switch (when) {
        case Timing::Before:
            return "before";
        case Timing::After:
            return "after";
        case Timing::Middle:
            return "middle";
    }
    return "";
}

}  // namespace

HttpAnswer ScriptedAnswer(const ScenarioAction& action, HttpAnswer normal) {
    switch (action.kind) {
        case ActionKind::HttpError:
            return HttpAnswer{action.status, "text/html", action.body, Disconnect::None};
        case ActionKind::Answer:
            return HttpAnswer{action.status, action.contentType, action.body, Disconnect::None};
        case ActionKind::Close:
            normal.disconnect =
                action.when == Timing::Middle ? Disconnect::MiddleOfAnswer : Disconnect::BeforeAnswer;
            return normal;
        default:
            return normal;
    }
}

std::optional<ScenarioAction> ConsultScenario(Scenario& scenario, const RequestFacts& facts,
                                              RequestRecord& record) {
    if (scenario.Empty()) {
        return std::nullopt;
    }
    ScenarioDecision decision = scenario.Decide(facts);
    auto note = [&](const std::string& text) {
        record.scenario += (record.scenario.empty() ? "" : ", ") + text;
    };
    if (decision.delayMs > 0) {
        note("delay " + std::to_string(decision.delayMs) + " ms");
        std::this_thread::sleep_for(std::chrono::milliseconds(decision.delayMs));
    }
    if (decision.action) {
        note(DescribeAction(*decision.action));
    }
    return decision.action;
}

std::string DescribeAction(const ScenarioAction& action) {
    switch (action.kind) {
        case ActionKind::Fault:
            return "fault " + action.code;
        case ActionKind::HttpError:
            return "httpError " + std::to_string(action.status) + " " + TimingName(action.when);
        case ActionKind::Answer:
            return "answer " + std::to_string(action.status) + " " + TimingName(action.when);
        case ActionKind::Delay:
            return "delay " + std::to_string(action.delayMs) + " ms";
        case ActionKind::Close:
            return std::string("close ") + TimingName(action.when);
        case ActionKind::ExpireSession:
            return "expireSession";
    }
    return "";
}

}  // namespace Tarvik::TestServer
