#pragma once
// Diagnostic copies written to the job's work directory: failed requests, uploaded messages. They
// may hold mail and server tokens, so they are created readable by the user only (0600) and never
// through a symbolic link. Names derived from server data are made safe first.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Tarvik::Util {

// The file name (without extension) of the copy of an uploaded message: the upload token with every
// ":" replaced by "-". Because the token comes from the server, path separators, ".." and control
// characters are replaced by "_" too, so the name always stays inside the work directory.
std::string DumpFileName(std::string_view uploadToken);

// workDirectory + "/" + name for the running job; nothing when the job has no work directory.
std::optional<std::string> WorkDirectoryPath(std::string_view name);

// A file created (or truncated) for writing with mode 0600, refusing to follow a symbolic link.
class DumpFile {
  public:
    explicit DumpFile(const std::string& path);
    ~DumpFile();
    DumpFile(const DumpFile&) = delete;
    DumpFile& operator=(const DumpFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Writes all of `bytes`; false (and the file stays incomplete) on a write error.
    bool Write(std::string_view bytes);

  private:
    int fd_ = -1;
};

// Creates the file with `content`; false when it cannot be created or written.
bool WriteDumpFile(const std::string& path, std::string_view content);

}  // namespace Tarvik::Util
