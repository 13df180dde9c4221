#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "import/ImportWorker.h"
#include "mapi/HRException.h"
#include "runtime/Log.h"
#include "runtime/Text.h"
#include "tarvik/RpcException.h"
#include "tarvik/TarvikException.h"
#include "tests/support/TestSupport.h"

namespace {

using TestSupport::ReadFile;
using TestSupport::TempDir;
using Failure = std::function<void()>;

constexpr const char* temporaryProfile = "T4rv1kPST23Migration10_15_02";

// Everything the worker asks of the source, the engine and the progress sink, in the order asked.
using Journal = std::vector<std::string>;

class FakeSource : public IImportSource {
  public:
    explicit FakeSource(Journal& journal) : journal_(journal) {}
    void Logon(const std::string& profileName) override { Record("logon " + profileName, "logon"); }
    void OpenDefaultStore() override { Record("open store", "open store"); }
    void CloseStore() override { Record("close store", "close store"); }
    void Logoff() override { Record("logoff", "logoff"); }
    void DeleteProfile(const std::string& profileName) override {
        Record("delete profile " + profileName, "delete profile");
    }

    std::map<std::string, Failure> failures;  // by step: "logon", "open store", "close store", ...

  private:
    void Record(const std::string& event, const std::string& step) {
        journal_.push_back(event);
        if (auto failure = failures.find(step); failure != failures.end()) {
            failure->second();
        }
    }
    Journal& journal_;
};

// Attempt n fails with attempts[n - 1] while there is one; later attempts succeed.
class ScriptedEngine : public IImportEngine {
  public:
    explicit ScriptedEngine(Journal& journal) : journal_(journal) {}
    void RunAttempt(const std::string& accountName, const std::string& host, int32_t port) override {
        journal_.push_back("attempt " + accountName + " " + host + ":" + std::to_string(port));
        if (next_ < attempts.size()) {
            attempts[next_++]();
        }
    }
    void LogOverallStatistics() override {
        journal_.push_back("statistics");
        LogLine("(MI):     Import stats");
    }

    std::vector<Failure> attempts;

  private:
    Journal& journal_;
    size_t next_ = 0;
};

class RecordingProgress : public IImportProgress {
  public:
    explicit RecordingProgress(Journal& journal) : journal_(journal) {}
    void BeginAccount(const std::string& accountName) override { journal_.push_back("begin " + accountName); }
    void ReportError(const std::string& message) override { errors.push_back(message); }
    void ReportWarning(const std::string& message) override { journal_.push_back("warning " + message); }
    void SetTotal(int64_t) override {}
    void Step() override {}
    void SetDone(int64_t) override {}
    void Finished() override { journal_.push_back("finished"); }
    void SetStatus(const std::string&) override {}

    std::vector<std::string> errors;

  private:
    Journal& journal_;
};

// One job of anna's PST on a temporary profile, with its own run log.
struct Job {
    Job() {
        LoadTextTable(TextLanguage::Default);
        EXPECT_TRUE(OpenLogFile((dir / "run.log").string()));
        params.serverName = "mail.example.com";
        params.port = 8080;
        params.SetPstPath("/data/anna.pst");
        params.targetAccount = "anna@example.com";
        params.profileName = params.tempProfileName = temporaryProfile;
        params.ignorePreviouslyImported = false;
        params.progress = &progress;
    }
    ~Job() { CloseLogFile(); }

    int Run() { return ImportWorker(params, source, engine); }

    // The log's messages without their time and thread header.
    std::vector<std::string> Log() const {
        std::vector<std::string> messages;
        std::string text = ReadFile(dir / "run.log");
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            std::string line = text.substr(start, end - start);
            size_t header = line.find("]: ");
            messages.push_back(header == std::string::npos ? line : line.substr(header + 3));
        }
        return messages;
    }

    long LogCount(const std::string& message) const {
        auto log = Log();
        return std::count(log.begin(), log.end(), message);
    }

    long Attempts() const {
        return std::count_if(journal.begin(), journal.end(),
                             [](const std::string& e) { return e.starts_with("attempt "); });
    }

    long Events(const std::string& event) const { return std::count(journal.begin(), journal.end(), event); }

    // The store is released, the session ended, the temporary profile deleted, the end logged and
    // the front end told exactly once, in that order, as the last things the job does.
    void ExpectCleanedUp(bool profileDeleted = true) const {
        std::vector<std::string> tail = {"close store", "logoff"};
        if (profileDeleted) {
            tail.push_back(std::string("delete profile ") + temporaryProfile);
        }
        tail.push_back("finished");
        ASSERT_GE(journal.size(), tail.size());
        EXPECT_EQ(std::vector<std::string>(journal.end() - tail.size(), journal.end()), tail);
        EXPECT_EQ(Events("finished"), 1);
        EXPECT_EQ(Log().back(), "Worker thread exiting");
    }

    TempDir dir;
    Journal journal;
    ImportParams params;
    FakeSource source{journal};
    ScriptedEngine engine{journal};
    RecordingProgress progress{journal};
};

Failure Throws(auto exception) {
    return [exception] { throw exception; };
}

int32_t Hr(uint32_t value) {
    return static_cast<int32_t>(value);
}

TEST(ImportWorker, SuccessfulJobMakesOneAttemptAndCleansUp) {
    Job job;
    EXPECT_EQ(job.Run(), 0);
    EXPECT_EQ(job.journal,
              (Journal{"logon T4rv1kPST23Migration10_15_02", "open store", "begin anna@example.com",
                       "attempt anna@example.com mail.example.com:8080", "close store", "logoff",
                       "delete profile T4rv1kPST23Migration10_15_02", "finished"}));
    EXPECT_EQ(job.Log(), (std::vector<std::string>{"Worker thread started",
                                                   "Work arrived.../data/anna.pst anna@example.com",
                                                   "Worker thread exiting"}));
    EXPECT_TRUE(job.progress.errors.empty());
    EXPECT_FALSE(job.params.ignorePreviouslyImported) << "nothing failed, so the user's choice stands";
}

TEST(ImportWorker, EachFailureFamilyIsLoggedReportedAndRetriedWithResume) {
    struct Case {
        const char* name;
        Failure failure;
        std::string logLine;
        std::string reported;
    };
    const Case cases[] = {
        {"transport", Throws(Tarvik::Rpc::RpcException(12029)), "RPC Error: Unable to connect.",
         "RPC Error: Unable to connect."},
        {"server fault",
         Throws(
             Tarvik::TarvikException("Service temporarily unavailable.", "service.TEMPORARILY_UNAVAILABLE")),
         "Error while importing PST /data/anna.pst: service.TEMPORARILY_UNAVAILABLE Service temporarily "
         "unavailable.",
         "Service temporarily unavailable."},
        {"batch limit after the scan",
         Throws(Tarvik::TarvikException("Message processing error limit reached", "error_threshold_reached")),
         "Error while importing PST /data/anna.pst: error_threshold_reached Message processing error limit "
         "reached",
         "Message processing error limit reached"},
        {"MAPI", Throws(Tarvik::MAPI::HRException(Hr(0x80004005), "mapi/MapiObjects", 548)),
         "COM Exception: 80004005 at mapi/MapiObjects(548)",
         "COM Exception 80004005 at mapi/MapiObjects(548)"},
        {"MAPI access denied", Throws(Tarvik::MAPI::HRException(6, "mapi/MapiUtils", 77)),
         "COM Exception: 6 at mapi/MapiUtils(77)", "Error: Access Denied"},
        {"logon during an attempt",
         Throws(Tarvik::MAPI::LogonException(Hr(0x80040111), "mapi/MapiObjects", 12)),
         "COM Exception: 80040111 at mapi/MapiObjects(12)", "COM Exception 80040111 at mapi/MapiObjects(12)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Job job;
        job.engine.attempts = {c.failure};
        job.Run();
        EXPECT_EQ(job.Attempts(), 2);
        EXPECT_EQ(job.LogCount(c.logLine), 1);
        EXPECT_EQ(job.progress.errors, std::vector<std::string>{c.reported});
        EXPECT_TRUE(job.params.ignorePreviouslyImported)
            << "the second attempt must resume, not import twice";
        EXPECT_EQ(job.Events("begin anna@example.com"), 1);
        EXPECT_EQ(job.LogCount("Work arrived.../data/anna.pst anna@example.com"), 1);
        EXPECT_EQ(job.LogCount("Too many items failed, exiting"), 0);
        job.ExpectCleanedUp();
    }
}

TEST(ImportWorker, LogIsEnglishWhileTheReportFollowsTheUsersLanguage) {
    Job job;
    LoadTextTable(TextLanguage::German);
    std::string germanText = FormatText("ERR_RPC", LookupText("ERR_WINHTTP_TIMEOUT"));
    job.engine.attempts = {Throws(Tarvik::Rpc::RpcException(12002))};
    job.Run();
    LoadTextTable(TextLanguage::Default);
    ASSERT_NE(germanText, "RPC Error: The request has timed out.");
    EXPECT_EQ(job.progress.errors, std::vector<std::string>{germanText});
    EXPECT_EQ(job.LogCount("RPC Error: The request has timed out."), 1);
}

TEST(ImportWorker, ScanErrorLimitEndsTheJobAfterOneAttempt) {
    Job job;
    job.engine.attempts = {
        Throws(Tarvik::TarvikException("Error limit reached", "error_threshold_reached."))};
    job.Run();
    EXPECT_EQ(job.Attempts(), 1);
    EXPECT_EQ(job.progress.errors, std::vector<std::string>{"Error limit reached"});
    auto log = job.Log();
    auto gaveUp = std::find(log.begin(), log.end(), "Too many items failed, exiting");
    ASSERT_NE(gaveUp, log.end());
    EXPECT_EQ(*(gaveUp + 1), "(MI):     Import stats") << "the overall statistics follow";
    EXPECT_EQ(job.Events("statistics"), 1);
    job.ExpectCleanedUp();
}

TEST(ImportWorker, FourFailedAttemptsGiveUpOnceAndStillCleanUp) {
    Job job;
    job.engine.attempts = {Throws(Tarvik::Rpc::RpcException(12030)),
                           Throws(Tarvik::TarvikException("No.", "service.FAILURE")),
                           Throws(Tarvik::MAPI::HRException(Hr(0x8004010F), "mapi/MapiObjects", 311)),
                           Throws(Tarvik::Rpc::RpcException(12002))};
    job.Run();
    EXPECT_EQ(job.Attempts(), 4);
    EXPECT_EQ(job.progress.errors.size(), 4u);
    EXPECT_EQ(job.LogCount("Too many items failed, exiting"), 1);
    auto log = job.Log();
    auto lastFailure = std::find(log.begin(), log.end(), "RPC Error: The request has timed out.");
    auto gaveUp = std::find(log.begin(), log.end(), "Too many items failed, exiting");
    EXPECT_LT(lastFailure, gaveUp) << "the job gives up only after the fourth failure";
    EXPECT_EQ(job.Events("statistics"), 1);
    EXPECT_EQ(job.Events("begin anna@example.com"), 1);
    EXPECT_EQ(job.LogCount("Work arrived.../data/anna.pst anna@example.com"), 1);
    job.ExpectCleanedUp();
}

TEST(ImportWorker, UnknownFailureEndsTheJobWithoutLeavingTheThread) {
    struct Case {
        const char* name;
        Failure failure;
        std::vector<std::string> logLines;
    };
    const Case cases[] = {
        {"standard exception",
         Throws(std::runtime_error("vector too long")),
         {"Unknown exception occured, leaving the Migration process.", "Exception text: vector too long"}},
        {"foreign object", Throws(42), {"Unknown exception occured, leaving the Migration process."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Job job;
        job.engine.attempts = {c.failure, c.failure};
        EXPECT_EQ(job.Run(), 0);
        EXPECT_EQ(job.Attempts(), 1) << "no further attempt after a fault";
        auto log = job.Log();
        auto first = std::search(log.begin(), log.end(), c.logLines.begin(), c.logLines.end());
        EXPECT_NE(first, log.end());
        EXPECT_EQ(job.progress.errors, std::vector<std::string>{"Unknown Application Exception"});
        EXPECT_EQ(job.Events("statistics"), 1);
        EXPECT_EQ(job.LogCount("Too many items failed, exiting"), 0);
        EXPECT_TRUE(job.params.ignorePreviouslyImported);
        job.ExpectCleanedUp();
    }
}

TEST(ImportWorker, SourceFailuresEndTheJobBeforeAnyAttempt) {
    struct Case {
        const char* step;
        Failure failure;
        std::string logLine;
        std::string reported;
    };
    const Case cases[] = {
        {"logon", Throws(Tarvik::MAPI::LogonException(Hr(0x80040111), "mapi/MapiObjects", 60)),
         "Unable to Logon to the profile", "Unable to Logon to the profile"},
        {"open store", Throws(Tarvik::MAPI::HRException(Hr(0x8004010F), "mapi/MapiObjects", 311)),
         "Unable to open default msg store: -2147221233 at mapi/MapiObjects(311)",
         "Unable to open default msg store: 8004010f"},
        {"logon", Throws(std::bad_alloc()), "Unknown exception occured, leaving the Migration process.",
         "Unknown Application Exception"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logLine);
        Job job;
        job.source.failures[c.step] = c.failure;
        job.Run();
        EXPECT_EQ(job.Attempts(), 0);
        EXPECT_EQ(job.Events("begin anna@example.com"), 0);
        EXPECT_EQ(job.LogCount(c.logLine), 1);
        EXPECT_EQ(job.progress.errors, std::vector<std::string>{c.reported});
        job.ExpectCleanedUp();
    }
}

TEST(ImportWorker, ProfileTheUserChoseIsNeverDeleted) {
    struct Case {
        const char* name;
        std::string profileName;
        std::string tempProfileName;
        std::vector<Failure> attempts;
    };
    auto failure = Throws(Tarvik::Rpc::RpcException(12029));
    const Case cases[] = {
        {"chosen profile, success", "Outlook", temporaryProfile, {}},
        {"chosen profile, four failures", "Outlook", temporaryProfile, {failure, failure, failure, failure}},
        {"no temporary profile at all", "Outlook", "", {}},
        {"neither name set", "", "", {failure}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Job job;
        job.params.profileName = c.profileName;
        job.params.tempProfileName = c.tempProfileName;
        job.engine.attempts = c.attempts;
        job.Run();
        job.ExpectCleanedUp(false);
    }
}

TEST(ImportWorker, FailingCleanUpStepsAreLoggedAndTheRestStillRuns) {
    Job job;
    job.source.failures["close store"] = Throws(std::runtime_error("store busy"));
    job.source.failures["logoff"] = Throws(Tarvik::MAPI::HRException(Hr(0x80004005), "mapi/MapiObjects", 90));
    job.source.failures["delete profile"] = Throws(7);
    job.Run();
    EXPECT_EQ(job.LogCount("**Warning**: Failed while closing the store: store busy"), 1);
    EXPECT_EQ(job.LogCount("**Warning**: Failed while logging off"), 1);
    EXPECT_EQ(job.LogCount("**Warning**: Failed while deleting the temporary profile"), 1);
    job.ExpectCleanedUp();
}

TEST(ImportWorker, MissingProgressSinkDoesNotStopTheJob) {
    Job job;
    job.params.progress = nullptr;
    job.engine.attempts = {Throws(Tarvik::Rpc::RpcException(12029))};
    EXPECT_EQ(job.Run(), 0);
    EXPECT_EQ(job.Attempts(), 2);
    EXPECT_EQ(job.Events("finished"), 0);
    EXPECT_EQ(job.Log().back(), "Worker thread exiting");
}

TEST(ImportWorker, AttemptConnectsWhereTheSessionModeSays) {
    struct Case {
        const char* name;
        bool adminMode, isAdmin, isDomainAdmin;
        std::string mailHost;
        std::string host;
        int32_t port;
    };
    const Case cases[] = {
        {"account session", false, false, false, "", "mail.example.com", 8080},
        {"domain admin importing into own account", false, false, true, "public.example.com",
         "mail.example.com", 8080},
        {"admin without admin mode", false, true, false, "", "mail.example.com", 8080},
        {"admin mode, public host known", true, true, false, "public.example.com", "public.example.com",
         7071},
        {"domain admin mode, public host known", true, false, true, "public.example.com",
         "public.example.com", 7071},
        {"admin mode, no public host", true, true, false, "", "mail.example.com", 9071},
        {"admin mode set by a non-administrator", true, false, false, "public.example.com",
         "mail.example.com", 8080},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImportParams params;
        params.serverName = "mail.example.com";
        params.port = 8080;
        params.adminPort = 9071;
        params.adminMode = c.adminMode;
        params.isAdmin = c.isAdmin;
        params.isDomainAdmin = c.isDomainAdmin;
        params.mailHost = c.mailHost;
        AttemptEndpoint endpoint = EndpointOf(params);
        EXPECT_EQ(endpoint.host, c.host);
        EXPECT_EQ(endpoint.port, c.port);
    }
}

}  // namespace
