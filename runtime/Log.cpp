#include "runtime/Log.h"

#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <vector>

#include "runtime/ImportParams.h"
#include "runtime/Utf8.h"

namespace {

// Recursive: a fault while a line is being written abandons the lock on this thread, and the
// crash guard then logs the fault from the same thread.
std::recursive_mutex logLock;
FILE* logStream = nullptr;
std::string logPath;

std::string LineHeader() {
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    char header[64];
    snprintf(header, sizeof header, "%02d-%02d-%d %02d:%02d:%02d [%3d]: ", local.tm_mday, local.tm_mon + 1,
             local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(gettid()));
    return header;
}

std::string FormatMessage(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int length = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0) {
        return {};
    }
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<size_t>(length));
}

void RemoveTrailingWhiteSpace(std::string& line) {
    size_t end = line.find_last_not_of(" \t\r\n\v\f");
    line.erase(end == std::string::npos ? 0 : end + 1);
}

}  // namespace

bool OpenLogFile(const std::string& path) {
    FILE* stream = fopen(path.c_str(), "w+");
    std::lock_guard lock(logLock);
    if (logStream != nullptr) {
        fclose(logStream);
    }
    logStream = stream;
    logPath = stream != nullptr ? path : std::string();
    return stream != nullptr;
}

void CloseLogFile() {
    std::lock_guard lock(logLock);
    if (logStream != nullptr) {
        fclose(logStream);
    }
    logStream = nullptr;
    logPath.clear();
}

std::string LogFilePath() {
    std::lock_guard lock(logLock);
    return logPath;
}

void LogLineV(const char* format, va_list args) {
    std::lock_guard lock(logLock);
    if (logStream == nullptr) {
        return;
    }
    std::string line = LineHeader() + FormatMessage(format, args);
    Utf8::TruncateToCodePoints(line, LogLineCapacity - 1);
    RemoveTrailingWhiteSpace(line);
    line += '\n';
    fwrite(line.data(), 1, line.size(), logStream);
    fflush(logStream);
}

void LogLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogLineV(format, args);
    va_end(args);
}

std::string LogFileName(const std::string& workDirectory, const std::string& pstBaseName, time_t when) {
    struct tm local {};
    localtime_r(&when, &local);
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%02d%02d%d_%02d%02d%02d", local.tm_mon + 1, local.tm_mday,
             local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    return workDirectory + "/PstImportWiz_" + pstBaseName + "_" + stamp + ".log";
}

bool NameLogFile(ImportParams& params) {
    std::string path = LogFileName(params.workDirectory, params.pstBaseName, time(nullptr));
    if (!OpenLogFile(path)) {
        return false;
    }
    params.logFiles.push_back(path);
    return true;
}

bool NameLogFile() {
    return NameLogFile(GetImportParams());
}
