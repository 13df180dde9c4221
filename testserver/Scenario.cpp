#include "testserver/Scenario.h"

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>

#include "testserver/Names.h"

namespace Tarvik::TestServer {

namespace {

using Json = nlohmann::json;

const char* DefaultErrorPage =
    "<html><head><title>500 Internal Server Error</title></head>"
    "<body><h1>Internal Server Error</h1><p>The server encountered an internal error.</p></body></html>\n";

const std::map<std::string, ActionKind> ActionNames = {
    {"fault", ActionKind::Fault},   {"httpError", ActionKind::HttpError},
    {"answer", ActionKind::Answer}, {"delay", ActionKind::Delay},
    {"close", ActionKind::Close},   {"expireSession", ActionKind::ExpireSession},
};

const std::set<std::string> MatchKeys = {"comment",    "operation", "account", "requestId",
                                         "occurrence", "times",     "action"};

std::set<std::string> ActionKeys(ActionKind kind) {
    switch (kind) {
        case ActionKind::Fault:
            return {"code", "reason"};
        case ActionKind::HttpError:
            return {"status", "body", "when"};
        case ActionKind::Answer:
            return {"status", "contentType", "body", "when"};
        case ActionKind::Delay:
            return {"ms"};
        case ActionKind::Close:
            return {"when"};
        case ActionKind::ExpireSession:
            return {};
    }
    return {};
}

class RuleReader {
  public:
    RuleReader(const Json& rule, std::string where) : rule_(rule), where_(std::move(where)) {}

    [[noreturn]] void Fail(const std::string& problem) const {
        throw std::runtime_error(where_ + ": " + problem);
    }

    template <typename T>
    std::optional<T> Get(const char* key) const {
        if (!rule_.contains(key)) {
            return std::nullopt;
        }
        try {
            return rule_.at(key).get<T>();
        } catch (const Json::exception&) {
            Fail(std::string("\"") + key + "\" has the wrong type");
        }
    }

    ScenarioAction Action() const {
        std::optional<std::string> name = Get<std::string>("action");
        if (!name || !ActionNames.contains(*name)) {
            Fail("\"action\" must be one of fault, httpError, answer, delay, close, expireSession");
        }
        ScenarioAction action;
        action.kind = ActionNames.at(*name);
        std::set<std::string> allowed = ActionKeys(action.kind);
        for (const auto& [key, value] : rule_.items()) {
            if (!MatchKeys.contains(key) && !allowed.contains(key)) {
                Fail("unknown key \"" + key + "\" for action " + *name);
            }
        }
        action.code = Get<std::string>("code").value_or("");
        action.reason = Get<std::string>("reason").value_or("scripted fault");
        action.status = Get<int>("status").value_or(action.kind == ActionKind::Answer ? 200 : 500);
        action.contentType = Get<std::string>("contentType").value_or("text/plain");
        action.body =
            Get<std::string>("body").value_or(action.kind == ActionKind::HttpError ? DefaultErrorPage : "");
        action.delayMs = Get<int>("ms").value_or(-1);
        action.when = ReadTiming(action.kind);
        if (action.kind == ActionKind::Fault && action.code.empty()) {
            Fail("a fault needs a \"code\"");
        }
        if (action.kind == ActionKind::Delay && action.delayMs < 0) {
            Fail("a delay needs \"ms\"");
        }
        if (action.kind == ActionKind::Answer && !rule_.contains("body")) {
            Fail("an answer needs a \"body\"");
        }
        if (action.status < 100 || action.status > 599) {
            Fail("\"status\" must be an HTTP status");
        }
        return action;
    }

  private:
    Timing ReadTiming(ActionKind kind) const {
        std::string when = Get<std::string>("when").value_or("before");
        if (when == "before")
            return Timing::Before;
        if (when == "after")
            return Timing::After;
        if (when == "middle" && kind == ActionKind::Close)
            return Timing::Middle;
        Fail(kind == ActionKind::Close ? "\"when\" must be before, after or middle"
                                       : "\"when\" must be before or after");
    }

    const Json& rule_;
    std::string where_;
};

}  // namespace

Scenario Scenario::FromJson(std::string_view text, const std::string& origin) {
    Json root;
    try {
        root = Json::parse(text);
    } catch (const Json::parse_error& error) {
        throw std::runtime_error(origin + ": not valid JSON: " + error.what());
    }
    if (!root.is_object() || !root.contains("rules") || !root["rules"].is_array()) {
        throw std::runtime_error(origin + ": expected an object with an array \"rules\"");
    }
    for (const auto& [key, value] : root.items()) {
        if (key != "rules" && key != "comment") {
            throw std::runtime_error(origin + ": unknown key \"" + key + "\"");
        }
    }
    Scenario scenario;
    const Json& rules = root["rules"];
    for (size_t i = 0; i < rules.size(); ++i) {
        RuleReader reader(rules[i], origin + ": rules[" + std::to_string(i) + "]");
        if (!rules[i].is_object()) {
            reader.Fail("must be an object");
        }
        Rule rule;
        rule.operation = reader.Get<std::string>("operation");
        if (auto account = reader.Get<std::string>("account")) {
            rule.account = FoldCase(*account);
        }
        rule.requestId = reader.Get<std::string>("requestId");
        std::optional<int64_t> occurrence = reader.Get<int64_t>("occurrence");
        rule.occurrence = occurrence.value_or(1);
        // "occurrence" alone means that one request; without it a rule fires on every match.
        rule.times = reader.Get<int64_t>("times").value_or(occurrence ? 1 : 0);
        if (rule.occurrence < 1 || rule.times < 0) {
            reader.Fail("\"occurrence\" must be 1 or more and \"times\" 0 (no limit) or more");
        }
        rule.action = reader.Action();
        scenario.rules_.push_back(std::move(rule));
    }
    return scenario;
}

Scenario Scenario::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error(path + ": cannot be read");
    }
    std::ostringstream text;
    text << in.rdbuf();
    return FromJson(text.str(), path);
}

bool Scenario::Matches(const Rule& rule, const RequestFacts& facts) {
    if (rule.operation && *rule.operation != facts.operation) {
        return false;
    }
    if (rule.account && *rule.account != FoldCase(facts.account)) {
        return false;
    }
    return !rule.requestId || (facts.requestId && *rule.requestId == *facts.requestId);
}

ScenarioDecision Scenario::Decide(const RequestFacts& facts) {
    ScenarioDecision decision;
    std::lock_guard lock(*mutex_);
    for (Rule& rule : rules_) {
        if (!Matches(rule, facts)) {
            continue;
        }
        int64_t seen = ++rule.seen;
        bool fires = seen >= rule.occurrence && (rule.times == 0 || seen < rule.occurrence + rule.times);
        if (!fires) {
            continue;
        }
        if (rule.action.kind == ActionKind::Delay) {
            decision.delayMs += rule.action.delayMs;
        } else if (!decision.action) {
            decision.action = rule.action;
        }
    }
    return decision;
}

}  // namespace Tarvik::TestServer
