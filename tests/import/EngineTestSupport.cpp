#include "tests/import/EngineTestSupport.h"

#include <algorithm>
#include <sstream>

#include "runtime/ImportParams.h"
#include "runtime/Log.h"

namespace EngineTest {

CapturedLog::CapturedLog() {
    OpenLogFile(directory_ / "run.log");
}

CapturedLog::~CapturedLog() {
    CloseLogFile();
}

std::vector<std::string> CapturedLog::Lines() const {
    std::istringstream text(TestSupport::ReadFile(directory_ / "run.log"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) {
        size_t header = line.find("]: ");
        lines.push_back(header == std::string::npos ? line : line.substr(header + 3));
    }
    return lines;
}

bool CapturedLog::Contains(const std::string& line) const {
    std::vector<std::string> lines = Lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

void RecordingProgress::ReportError(const std::string& message) {
    errors.push_back(message);
    GetImportParams().problems.push_back({ProblemKind::Error, "", message});
}

void RecordingProgress::ReportWarning(const std::string& message) {
    warnings.push_back(message);
    GetImportParams().problems.push_back({ProblemKind::Warning, "", message});
}

}  // namespace EngineTest
