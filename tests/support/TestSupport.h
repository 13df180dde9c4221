#pragma once
// Helpers shared by all tests: where things are, scratch directories, running other programs.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace TestSupport {

// The checkout, the build tree and ../shared (as configured; the environment variables
// TVK_SOURCE_DIR, TVK_BINARY_DIR and TVK_SHARED_DIR override them).
std::filesystem::path SourceDir();
std::filesystem::path BinaryDir();
std::filesystem::path SharedDir();

// ../shared/corpus, or nothing when it is absent.
std::optional<std::filesystem::path> CorpusDir();

// Skips the current test with a clear message when the shared corpus is missing.
#define TVK_REQUIRE_CORPUS()                                                                   \
    do {                                                                                        \
        if (!TestSupport::CorpusDir()) {                                                        \
            GTEST_SKIP() << "The PST corpus is missing: expected " << TestSupport::SharedDir() \
                         << "/corpus beside the checkout";                                      \
        }                                                                                       \
    } while (0)

// A fresh directory (mode 0700) removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& content);

struct CommandResult {
    int exitCode = -1;  // the exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// Runs a program (looked up in PATH when it has no slash) with the given input and waits for it.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input = {},
                         const std::vector<std::string>& extraEnvironment = {});

// A TCP port on 127.0.0.1 that was free a moment ago.
int FreePort();

}  // namespace TestSupport
