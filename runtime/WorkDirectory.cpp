#include "runtime/WorkDirectory.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::string Environment(const char* name) {
    const char* value = getenv(name);
    return value != nullptr ? value : "";
}

std::string HomeDirectory() {
    std::string home = Environment("HOME");
    if (home.empty()) {
        if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
            home = entry->pw_dir;
        }
    }
    return home;
}

[[noreturn]] void Refuse(const std::string& path, const std::string& reason) {
    throw WorkDirectoryError("The work directory " + path + " cannot be used: " + reason);
}

std::string SystemError(int error) {
    return strerror(error);
}

// Creates every missing directory above `path` with mode 0700, as XDG asks for state directories.
void CreateParents(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        std::string parent = path.substr(0, slash);
        if (mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) {
            Refuse(path, "cannot create " + parent + ": " + SystemError(errno));
        }
    }
}

}  // namespace

std::string WorkDirectoryPath() {
    std::string override = Environment("TVKIMPORT_WORKDIR");
    if (!override.empty()) {
        return override;
    }
    std::string state = Environment("XDG_STATE_HOME");
    if (state.empty() || state[0] != '/') {  // XDG: a relative value is invalid and ignored
        state = HomeDirectory() + "/.local/state";
    }
    return state + "/tvkimport/REROZAImportWizard";
}

std::string PrepareWorkDirectory() {
    return PrepareWorkDirectory(WorkDirectoryPath());
}

std::string PrepareWorkDirectory(const std::string& requested) {
    std::string path = requested;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    if (path.empty()) {
        Refuse("\"\"", "no path given");
    }
    CreateParents(path);
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        Refuse(path, SystemError(errno));
    }
    // Opened without following links, so the checks below see the directory that is used.
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        int error = errno;
        struct stat link {};
        if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            Refuse(path, "it is a symbolic link");
        }
        Refuse(path, error == ENOTDIR ? "it is not a directory" : SystemError(error));
    }
    struct stat info {};
    bool statted = fstat(fd, &info) == 0;
    int statError = errno;
    if (statted && info.st_uid == geteuid() && (info.st_mode & 07777) != 0700 && fchmod(fd, 0700) != 0) {
        statError = errno;
        statted = false;
    }
    close(fd);
    if (!statted) {
        Refuse(path, SystemError(statError));
    }
    if (info.st_uid != geteuid()) {
        Refuse(path, "it belongs to another user (uid " + std::to_string(info.st_uid) + ")");
    }
    return path;
}
