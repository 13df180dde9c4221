#include "testserver/RequestLog.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace Tarvik::TestServer {

RequestLog::RequestLog(const std::string& jsonPath, bool quiet) : quiet_(quiet) {
    if (!jsonPath.empty()) {
        json_.open(jsonPath, std::ios::binary | std::ios::app);
        if (!json_) {
            throw std::runtime_error(jsonPath + ": cannot be written");
        }
    }
}

void RequestLog::Write(const RequestRecord& record) {
    std::lock_guard lock(mutex_);
    ++sequence_;
    if (json_.is_open()) {
        nlohmann::ordered_json line{
            {"seq", sequence_},          {"path", record.path},     {"operation", record.operation},
            {"account", record.account}, {"status", record.status}, {"result", record.result}};
        if (!record.scenario.empty()) {
            line["scenario"] = record.scenario;
        }
        if (!record.children.empty()) {
            nlohmann::ordered_json children = nlohmann::ordered_json::array();
            for (const RequestRecord::Child& child : record.children) {
                children.push_back({{"operation", child.operation},
                                    {"requestId", child.requestId},
                                    {"result", child.result}});
            }
            line["children"] = children;
        }
        json_ << line.dump() << '\n' << std::flush;
    }
    if (!quiet_) {
        std::string children =
            record.children.empty() ? "" : " (" + std::to_string(record.children.size()) + " requests)";
        fprintf(stderr, "%llu %s %s%s %s -> %d %s%s%s (%.1f ms)\n",
                static_cast<unsigned long long>(sequence_), record.path.c_str(), record.operation.c_str(),
                children.c_str(), record.account.empty() ? "-" : record.account.c_str(), record.status,
                record.result.c_str(), record.scenario.empty() ? "" : " scenario: ", record.scenario.c_str(),
                record.milliseconds);
    }
}

}  // namespace Tarvik::TestServer
