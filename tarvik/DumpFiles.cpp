#include "tarvik/DumpFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/ImportParams.h"

namespace Tarvik::Util {

std::string DumpFileName(std::string_view uploadToken) {
    std::string name(uploadToken);
    for (size_t i = 0; i < name.size(); ++i) {
        char& c = name[i];
        if (c == ':') {
            c = '-';
        } else if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '_';
        } else if (c == '.' && i + 1 < name.size() && name[i + 1] == '.') {
            name[i] = name[i + 1] = '_';
        }
    }
    return name;
}

std::optional<std::string> WorkDirectoryPath(std::string_view name) {
    const std::string& directory = GetImportParams().workDirectory;
    if (directory.empty()) {
        return std::nullopt;
    }
    return directory + "/" + std::string(name);
}

DumpFile::DumpFile(const std::string& path)
    : fd_(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600)) {
    if (fd_ >= 0) {
        fchmod(fd_, 0600);  // a file left by an earlier run keeps its old mode otherwise
    }
}

DumpFile::~DumpFile() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool DumpFile::Write(std::string_view bytes) {
    while (fd_ >= 0 && !bytes.empty()) {
        ssize_t written = write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return fd_ >= 0;
}

bool WriteDumpFile(const std::string& path, std::string_view content) {
    DumpFile file(path);
    return file.Write(content);
}

}  // namespace Tarvik::Util
