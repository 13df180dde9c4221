// Imports killed at random points (SIGKILL) while the reference server delays its answers, each run
// resumed by the next: at the end every source item is on the server exactly once. The kill points
// come from a fixed seed. Each falls between batches, while the next batch's messages are being
// uploaded: a batch already sent is carried out by the server whether or not its sender lives to
// read the answer, and nothing in the protocol tells a later run which of its items arrived, so a
// kill at that moment leaves those items to be imported again.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ReferenceServer.h"

namespace {

using TestSupport::ReferenceServer;
using TestSupport::ReferenceServerOptions;
using TestSupport::TempDir;

constexpr int messageCount = 300;
constexpr int batchDelayMs = 50;
constexpr int uploadDelayMs = 15;
constexpr uint32_t seed = 20261211;

pid_t StartRunner(const std::vector<std::string>& argv) {
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// The size of the one progress log in `directory`, 0 while there is none.
uintmax_t ProgressLogSize(const std::filesystem::path& directory) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        if (entry.path().extension() == ".status") {
            return entry.file_size(error);
        }
    }
    return 0;
}

TEST(ResumeTest, ImportsKilledMidwayAndResumedLeaveEveryItemOnTheServerExactlyOnce) {
    TempDir scratch;
    TempDir work;
    setenv("TVKIMPORT_REGISTRY", (scratch / "registry").c_str(), 1);
    std::string pst = (scratch / "synthetic.pst").string();
    TestSupport::CommandResult made = TestSupport::RunCommand(
        {(TestSupport::BinaryDir() / "tools/pstgen").string(), "--synthetic", "--messages",
         std::to_string(messageCount), "--folders", "4", "--size", "1", pst});
    ASSERT_EQ(made.exitCode, 0) << made.err;

    ReferenceServer server(ReferenceServerOptions{
        .scenario = R"({"rules": [{"operation": "BatchRequest", "action": "delay", "ms": )" +
                    std::to_string(batchDelayMs) + R"(}, {"operation": "upload", "action": "delay", "ms": )" +
                    std::to_string(uploadDelayMs) + "}]}",
        .requestLog = false});
    std::vector<std::string> runner = {(TestSupport::BinaryDir() / "tests/import/tvk-import-runner").string(),
                                       pst, server.Host(), std::to_string(server.Port()),
                                       work.Path().string()};

    std::mt19937 random(seed);
    // Progress records are 4 bytes of length and the search key: grow by whole batches.
    std::uniform_int_distribution<uintmax_t> growth(1, 1500);
    // Well before the next batch has its uploads, even on a loaded machine.
    std::uniform_int_distribution<int> afterGrowthMs(0, uploadDelayMs);
    uintmax_t threshold = 0;
    int kills = 0;
    for (int run = 0; run < 5; ++run) {
        pid_t pid = StartRunner(runner);
        ASSERT_GT(pid, 0);
        threshold = ProgressLogSize(work.Path()) + growth(random);
        int status = 0;
        bool exited = false;
        while (!exited && ProgressLogSize(work.Path()) < threshold) {
            exited = waitpid(pid, &status, WNOHANG) == pid;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (exited) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(afterGrowthMs(random)));
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        kills += WIFSIGNALED(status) ? 1 : 0;
    }
    EXPECT_GE(kills, 3) << "the import was too quick to be killed at the chosen points";

    pid_t pid = StartRunner(runner);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    nlohmann::ordered_json dump = server.Dump("user@example.com", false);
    std::multiset<std::string> subjects;
    for (const auto& message : dump["messages"]) {
        subjects.insert(message["subject"].get<std::string>());
    }
    std::set<std::string> distinct(subjects.begin(), subjects.end());
    EXPECT_EQ(distinct.size(), static_cast<size_t>(messageCount)) << "items lost";
    EXPECT_EQ(subjects.size(), distinct.size()) << "items imported twice";
}

}  // namespace
