#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "runtime/WorkDirectory.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using TestSupport::TempDir;

// Sets environment variables for one test and restores them afterwards.
class ScopedEnvironment {
  public:
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_) {
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
        }
    }
    void Set(const std::string& name, const std::optional<std::string>& value) {
        if (!saved_.contains(name)) {
            const char* old = getenv(name.c_str());
            saved_[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        }
        value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }

  private:
    std::map<std::string, std::optional<std::string>> saved_;
};

mode_t Mode(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// The message names the path and gives the reason.
void ExpectRefused(const fs::path& path, const std::string& reason) {
    try {
        PrepareWorkDirectory(path.string());
        ADD_FAILURE() << "accepted " << path;
    } catch (const WorkDirectoryError& error) {
        std::string message = error.what();
        EXPECT_NE(message.find(path.string()), std::string::npos) << message;
        EXPECT_NE(message.find(reason), std::string::npos) << message;
    }
}

TEST(WorkDirectory, PathFollowsTheOverrideThenXdgStateHomeThenHome) {
    struct Case {
        std::optional<std::string> workdir, stateHome, home;
        std::string path;
    };
    const Case cases[] = {
        {"/srv/import", "/state", "/home/anna", "/srv/import"},
        {std::nullopt, "/state", "/home/anna", "/state/tvkimport/REROZAImportWizard"},
        {"", "", "/home/anna", "/home/anna/.local/state/tvkimport/REROZAImportWizard"},
        {std::nullopt, "relative/state", "/home/anna",
         "/home/anna/.local/state/tvkimport/REROZAImportWizard"},
    };
    ScopedEnvironment environment;
    for (const Case& c : cases) {
        environment.Set("TVKIMPORT_WORKDIR", c.workdir);
        environment.Set("XDG_STATE_HOME", c.stateHome);
        environment.Set("HOME", c.home);
        EXPECT_EQ(WorkDirectoryPath(), c.path);
    }
}

TEST(WorkDirectory, IsCreatedWithItsParentsForTheUserAlone) {
    TempDir dir;
    ScopedEnvironment environment;
    environment.Set("TVKIMPORT_WORKDIR", std::nullopt);
    environment.Set("XDG_STATE_HOME", (dir / "state").string());
    mode_t oldMask = umask(0);  // a permissive umask must not widen the directory
    std::string path = PrepareWorkDirectory();
    umask(oldMask);
    EXPECT_EQ(path, (dir / "state/tvkimport/REROZAImportWizard").string());
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(Mode(path), 0700u);
    EXPECT_EQ(Mode(dir / "state/tvkimport"), 0700u);
    EXPECT_EQ(PrepareWorkDirectory(path + "/"), path) << "an existing directory is fine";
}

TEST(WorkDirectory, ExistingDirectoryOpenToOthersIsNarrowed) {
    TempDir dir;
    fs::create_directory(dir / "work");
    chmod((dir / "work").c_str(), 0755);
    PrepareWorkDirectory((dir / "work").string());
    EXPECT_EQ(Mode(dir / "work"), 0700u);
}

TEST(WorkDirectory, SymbolicLinksFilesAndOtherUsersDirectoriesAreRefused) {
    TempDir dir;
    fs::create_directory(dir / "real");
    chmod((dir / "real").c_str(), 0755);
    fs::create_directory_symlink(dir / "real", dir / "link");
    fs::create_directory_symlink(dir / "nowhere", dir / "dangling");
    TestSupport::WriteFile(dir / "file", "x");
    ExpectRefused(dir / "link", "symbolic link");
    ExpectRefused(dir / "dangling", "symbolic link");
    ExpectRefused(dir / "file", "not a directory");
    EXPECT_EQ(Mode(dir / "real"), 0755u) << "nothing was changed through the link";

    fs::create_directory(dir / "theirs");
    chmod((dir / "theirs").c_str(), 0755);
    if (geteuid() == 0) {
        ASSERT_EQ(chown((dir / "theirs").c_str(), 65534, 65534), 0);
        ExpectRefused(dir / "theirs", "another user");
        EXPECT_EQ(Mode(dir / "theirs"), 0755u) << "another user's directory is left alone";
    } else {
        ExpectRefused("/", "another user");
    }
}

}  // namespace
