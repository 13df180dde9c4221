#include "import/ProgressLog.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "runtime/ImportParams.h"
#include "runtime/Log.h"
#include "runtime/Utf8.h"

namespace {

constexpr size_t lengthBytes = 4;

std::string Md5Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_md5(), nullptr);
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 0xf];
    }
    return text;
}

void AppendRecord(std::string& out, std::string_view key) {
    auto length = static_cast<uint32_t>(key.size());
    for (size_t i = 0; i < lengthBytes; ++i) {
        out += static_cast<char>((length >> (8 * i)) & 0xff);
    }
    out += key;
}

// Calls `onRecord(key)` for every whole record of the file and returns the offset after the last
// whole one. Reads the file in large pieces: a record log of a big mailbox holds many thousands.
template <typename OnRecord>
off_t ReadRecords(int fd, const OnRecord& onRecord) {
    std::string data;
    char piece[64 * 1024];
    for (ssize_t got; (got = pread(fd, piece, sizeof piece, static_cast<off_t>(data.size()))) != 0;) {
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        data.append(piece, static_cast<size_t>(got));
    }
    size_t pos = 0;
    while (data.size() - pos >= lengthBytes) {
        uint32_t length = 0;
        for (size_t i = 0; i < lengthBytes; ++i) {
            length |= static_cast<uint32_t>(static_cast<unsigned char>(data[pos + i])) << (8 * i);
        }
        if (data.size() - pos - lengthBytes < length) {
            break;
        }
        onRecord(std::string_view(data).substr(pos + lengthBytes, length));
        pos += lengthBytes + length;
    }
    return static_cast<off_t>(pos);
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

int OpenRecordFile(const std::string& path, int flags) {
    // Search keys identify the user's mail; the file is the user's alone.
    return open(path.c_str(), flags | O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
}

}  // namespace

ProgressLog::~ProgressLog() {
    Close();
}

std::string ProgressLog::PathFor(const ImportParams& params, std::string_view salt,
                                 std::string_view sourceName) {
    std::string identity = std::string(salt) + std::string(sourceName) + params.serverName +
                           std::to_string(params.port) + params.targetAccount;
    return params.workDirectory + "/" + Md5Hex(Utf8::ToUtf16LE(identity)) + "_" + std::string(sourceName) +
           ".status";
}

void ProgressLog::OpenForImport(ImportParams& params, std::string_view salt, std::string_view sourceName) {
    Close();
    path_ = PathFor(params, salt, sourceName);
    LogLine("Progress log is: %s", path_.c_str());
    params.logFiles.push_back(path_);

    fd_ = OpenRecordFile(path_, O_CREAT | O_EXCL);
    if (fd_ < 0 && errno == EEXIST) {
        if (!params.ignorePreviouslyImported) {
            LogLine("Clearing original progress log");
            unlink(path_.c_str());
        }
        fd_ = OpenRecordFile(path_, O_CREAT);
    }
    if (fd_ < 0) {
        LogLine(
            "**Warning**: Progress log %s cannot be opened: %s; items imported now will not be skipped "
            "by a later import",
            path_.c_str(), std::strerror(errno));
        return;
    }
    Load();
}

void ProgressLog::Load() {
    off_t whole = ReadRecords(fd_, [this](std::string_view key) { ++remaining_[std::string(key)]; });
    struct stat status {};
    if (fstat(fd_, &status) == 0 && status.st_size > whole) {
        // A record cut short by a crash: appending behind it would make every later record unreadable.
        LogLine("**Warning**: Progress log %s ends in an incomplete record; it is dropped", path_.c_str());
        if (ftruncate(fd_, whole) != 0) {
            LogLine("**Warning**: Progress log %s cannot be repaired: %s", path_.c_str(),
                    std::strerror(errno));
        }
    }
}

bool ProgressLog::ShouldImport(std::string_view searchKey) {
    auto entry = remaining_.find(std::string(searchKey));
    if (entry == remaining_.end()) {
        return true;
    }
    if (--entry->second == 0) {
        remaining_.erase(entry);
    }
    return false;
}

void ProgressLog::Append(std::string_view searchKey) {
    if (fd_ >= 0) {
        AppendRecord(queued_, searchKey);
    }
}

bool ProgressLog::Commit() {
    if (fd_ < 0 || queued_.empty()) {
        return true;
    }
    std::string records = std::move(queued_);
    queued_.clear();
    if (!WriteAll(fd_, records) || fdatasync(fd_) != 0) {
        LogLine("**Warning**: Progress log %s cannot be written: %s", path_.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

void ProgressLog::Close() {
    if (fd_ < 0) {
        return;
    }
    Commit();
    close(fd_);
    fd_ = -1;
    LogLine("Clearing internal progress log entries");
    remaining_.clear();
    LogLine("Entries cleared");
}

std::optional<ProgressLog::ProbeResult> ProgressLog::Probe(const ImportParams& params) {
    std::string path = PathFor(params, progressLogSalt, params.pstBaseName);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    ProbeResult result;
    ReadRecords(fd, [&result](std::string_view) { ++result.records; });
    struct stat status {};
    if (fstat(fd, &status) == 0) {
        struct tm when {};
        gmtime_r(&status.st_mtime, &when);
        result.lastWrite = fmt::format("{:02}/{:02}/{:04}, {:02}:{:02}", when.tm_mon + 1, when.tm_mday,
                                       when.tm_year + 1900, when.tm_hour, when.tm_min);
    }
    close(fd);
    return result;
}
