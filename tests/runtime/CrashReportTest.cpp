// Crash reports and fault guards: a fault inside a guard is reported and the program goes on; a
// repeated fault is not reported twice; a fault outside any guard ends the process after reporting.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <regex>
#include <thread>

#include "runtime/CrashReport.h"
#include "runtime/FaultGuard.h"
#include "runtime/Log.h"
#include "tests/support/TestSupport.h"

#ifndef TVK_TEST_HOOKS
#error "these tests need the fault-injection hooks (TVK_TEST_HOOKS)"
#endif

namespace {

namespace fs = std::filesystem;
using FaultInjection::Fault;
using TestSupport::ReadFile;

std::vector<fs::path> Reports(const fs::path& directory) {
    std::vector<fs::path> reports;
    for (const auto& entry : fs::directory_iterator(directory)) {
        if (entry.path().extension() == ".dmp") {
            reports.push_back(entry.path());
        }
    }
    return reports;
}

class CrashReportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CrashReports::Configure(work_.Path().string(), "tvkimport 9.9.9"));
        ASSERT_TRUE(OpenLogFile((work_ / "run.log").string()));
    }
    void TearDown() override {
        CloseLogFile();
        CrashReports::Configure("", "");
    }
    std::string Log() const { return ReadFile(work_ / "run.log"); }

    TestSupport::TempDir work_;
};

TEST_F(CrashReportTest, AFaultInsideAGuardIsReportedAndTheProgramGoesOn) {
    bool finished = false;
    std::optional<CaughtFault> caught = RunGuarded([&] {
        FaultInjection::Trigger(Fault::InvalidAccess);
        finished = true;
    });
    ASSERT_TRUE(caught.has_value());
    EXPECT_FALSE(finished);
    EXPECT_EQ(caught->fault.signal, SIGSEGV);
    EXPECT_EQ(caught->fault.faultAddress, 16u);
    EXPECT_EQ(caught->fault.thread, gettid());

    // Either this fault is the first of its kind in the process, or an earlier test reported it.
    if (caught->report == CrashReportOutcome::Written) {
        ASSERT_EQ(Reports(work_.Path()), std::vector<fs::path>{caught->reportPath});
        std::string report = ReadFile(caught->reportPath);
        EXPECT_NE(report.find("tvkimport 9.9.9 crash report"), std::string::npos);
        EXPECT_NE(report.find("Signal: 11 (SIGSEGV), code 1 (address not mapped)"), std::string::npos);
        EXPECT_NE(report.find("Fault address: 0x10\n"), std::string::npos);
        EXPECT_NE(report.find("Handling: caught by a guard"), std::string::npos);
        EXPECT_NE(report.find("Backtrace:\n"), std::string::npos);
        EXPECT_NE(report.find("[stack]"), std::string::npos) << "the memory map";
        EXPECT_TRUE(std::regex_search(fs::path(caught->reportPath).filename().string(),
                                      std::regex(R"(^TarvikCore_\d{8}_\d{6}(_\d+)?\.dmp$)")));
        EXPECT_NE(Log().find("CORE: Generated core dump: " + caught->reportPath), std::string::npos);
    }

    // The same fault again: no second report, and the guards keep working, also on other threads.
    std::optional<CaughtFault> again = RunGuarded([] { FaultInjection::Trigger(Fault::InvalidAccess); });
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->report, CrashReportOutcome::Similar);
    EXPECT_NE(Log().find("Similar core dump already generated. Hence skipping this one."), std::string::npos);
    std::optional<CaughtFault> onThread;
    std::thread([&] {
        onThread = RunGuarded([] { FaultInjection::Trigger(Fault::IllegalInstruction); });
    }).join();
    ASSERT_TRUE(onThread.has_value());
    EXPECT_EQ(onThread->fault.signal, SIGILL);
    EXPECT_EQ(RunGuarded([] {}), std::nullopt);
}

TEST_F(CrashReportTest, NestedGuardsCatchTheirOwnFaultsAndExceptionsPassThrough) {
    int innerFaults = 0;
    std::optional<CaughtFault> outer = RunGuarded([&] {
        for (int item = 0; item < 3; ++item) {
            innerFaults += GuardItem("item", [] { FaultInjection::Trigger(Fault::InvalidAccess); }) ? 1 : 0;
        }
    });
    EXPECT_EQ(outer, std::nullopt);
    EXPECT_EQ(innerFaults, 3);
    EXPECT_THROW(RunGuarded([] { throw std::runtime_error("not a fault"); }), std::runtime_error);
    EXPECT_TRUE(RunGuarded([] { FaultInjection::Trigger(Fault::InvalidAccess); }).has_value())
        << "the guard stack is intact after an exception";
}

TEST_F(CrashReportTest, OnlyTheChosenItemFaults) {
    FaultInjection::FaultAtItem("0a0b");
    std::vector<std::string> processed;
    for (std::string item : {"0001", "0a0b", "0002"}) {
        if (GuardItem(item, [&] { processed.push_back(item); })) {
            processed.push_back("fault in " + item);
        }
    }
    FaultInjection::Clear();
    EXPECT_EQ(processed, (std::vector<std::string>{"0001", "fault in 0a0b", "0002"}));
}

// A fault counts as similar once its address and its signal have each been reported, possibly by
// different reports; a report that was not written records nothing.
TEST_F(CrashReportTest, RepeatedFaultsAreReportedOnce) {
    // Addresses and signals no real fault of this process uses.
    const uintptr_t a = 0xA000001, b = 0xB000001, c = 0xC000001;
    const int x = 201, y = 202;
    struct Case {
        uintptr_t address;
        int signal;
        CrashReportOutcome expected;
    } cases[] = {
        {a, x, CrashReportOutcome::Written}, {a, x, CrashReportOutcome::Similar},
        {b, x, CrashReportOutcome::Written}, {a, y, CrashReportOutcome::Written},
        {b, y, CrashReportOutcome::Similar}, {c, x, CrashReportOutcome::Written},
    };
    for (const Case& test : cases) {
        FaultDescription fault{test.signal, 0, 0, test.address, gettid()};
        EXPECT_EQ(WriteCrashReport(fault, FaultHandling::Caught).outcome, test.expected)
            << std::hex << test.address << " " << std::dec << test.signal;
    }
    // All within one second or two: the later reports take new names instead of replacing.
    EXPECT_EQ(Reports(work_.Path()).size(), 4u);

    // Without a usable directory nothing is written and nothing remembered.
    CrashReports::Configure("", "");
    FaultDescription fresh{x, 0, 0, 0xD000001, gettid()};
    EXPECT_EQ(WriteCrashReport(fresh, FaultHandling::Caught).outcome, CrashReportOutcome::Disabled);
    ASSERT_FALSE(CrashReports::Configure((work_ / "gone").string(), "tvkimport"));
    ASSERT_TRUE(CrashReports::Configure(work_.Path().string(), "tvkimport"));
    EXPECT_EQ(WriteCrashReport(fresh, FaultHandling::Caught).outcome, CrashReportOutcome::Written);
}

TEST(CrashReportName, FollowsTheLocalTime) {
    char name[64];
    // 15 March 2012 14:25:01 (as local seconds since 1970).
    int64_t when = 1331821501;
    CrashReportBaseName(when, 1, name, sizeof name);
    EXPECT_STREQ(name, "TarvikCore_03152012_142501");
    CrashReportBaseName(when, 3, name, sizeof name);
    EXPECT_STREQ(name, "TarvikCore_03152012_142501_3");
    CrashReportBaseName(951782400, 1, name, sizeof name);  // 29 February 2000
    EXPECT_STREQ(name, "TarvikCore_02292000_000000");
}

// A fault of its own, at an instruction no other test has reported.
[[gnu::noinline]] void FaultOutsideAnyGuard() {
    volatile uintptr_t address = 24;
    *reinterpret_cast<volatile int*>(address) = 2;
}

// The unhandled path ends the process, so it runs in a child.
TEST_F(CrashReportTest, AFaultOutsideAnyGuardIsReportedAndEndsTheProcess) {
    fs::path errors = work_ / "stderr.txt";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FILE* redirected = freopen(errors.c_str(), "w", stderr);
        (void)redirected;
        FaultGuards::Install("The application has requested the Runtime to terminate it.");
        FaultOutsideAnyGuard();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    EXPECT_EQ(ReadFile(errors), "The application has requested the Runtime to terminate it.\n");
    std::vector<fs::path> reports = Reports(work_.Path());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(ReadFile(reports[0]).find("Handling: not handled"), std::string::npos);
    std::string log = Log();
    EXPECT_NE(log.find("]: Exception Address: 0x"), std::string::npos) << log;
    EXPECT_NE(log.find("]: CORE: Generated core dump: " + reports[0].string()), std::string::npos) << log;
}

// A fault while the log is being written leaves the log's lock held by the abandoned code; the
// guard must still log the fault on that thread, and the thread must still log afterwards.
TEST_F(CrashReportTest, AFaultWhileWritingTheLogDoesNotHangTheThread) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(10);  // a hang ends the child with SIGALRM rather than the test run with a time-out
        const char* unmapped = reinterpret_cast<const char*>(16);
        std::optional<CaughtFault> caught = RunGuarded([&] { LogLine("formatting %s", unmapped); });
        LogLine("after the fault");
        _exit(caught.has_value() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::string log = Log();
    EXPECT_NE(log.find("]: Exception Address: 0x"), std::string::npos) << log;
    EXPECT_NE(log.find("]: after the fault"), std::string::npos) << log;
}

}  // namespace
