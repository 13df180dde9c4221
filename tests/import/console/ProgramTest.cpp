// tvkimport as users run it: exit statuses, the plain output, crash reports of faults inside an item,
// inside a job and outside any guard, the start-up refusals, and the full-screen display read back
// from a terminal (tmux).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "runtime/Text.h"
#include "tests/support/ReferenceServer.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using TestSupport::CommandResult;
using TestSupport::ReadFile;
using TestSupport::ReferenceServer;
using TestSupport::RunCommand;
using TestSupport::WriteFile;

fs::path FakeProgram() {
    return TestSupport::BinaryDir() / "tests" / "import" / "console" / "tvkimport-fake";
}

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TVKIMPORT_WORKDIR", Work().c_str(), 1);
        setenv("TVKIMPORT_REGISTRY", (dir_ / "registry.ini").c_str(), 1);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        WriteFile(dir_ / "mail.pst", std::string(100, 'p'));
    }

    fs::path Work() const { return dir_ / "work"; }

    // A job file importing mail.pst into the reference server's user account on 127.0.0.1:port.
    std::string JobFile(int port, const std::string& password = "<password>secret</password>") {
        WriteFile(dir_ / "job.xml", R"(<TVKImport>
  <Import TargetAccount="anna" Server="s" Data="d" Options="o"/>
  <Server name="s"><serverName>127.0.0.1</serverName><port>)" +
                                        std::to_string(port) +
                                        R"(</port><sslEnabled>0</sslEnabled></Server>
  <Account name="anna"><userName>user@example.com</userName>)" +
                                        password + R"(</Account>
  <Data name="d"><PST>)" + (dir_ / "mail.pst").string() +
                                        R"(</PST></Data>
  <Options name="o"/>
</TVKImport>)");
        return (dir_ / "job.xml").string();
    }

    CommandResult Run(const std::string& plan, std::vector<std::string> arguments,
                      const std::string& input = {}) {
        arguments.insert(arguments.begin(), FakeProgram().string());
        return RunCommand(arguments, input, {"TVK_FAKE_IMPORT=" + plan});
    }

    std::vector<fs::path> Files(const std::string& prefix) const {
        std::vector<fs::path> files;
        if (fs::exists(Work())) {
            for (const auto& entry : fs::directory_iterator(Work())) {
                if (entry.path().filename().string().starts_with(prefix)) {
                    files.push_back(entry.path());
                }
            }
        }
        return files;
    }
    std::string Log() const {
        std::vector<fs::path> logs = Files("PstImportWiz_");
        return logs.size() == 1 ? ReadFile(logs[0]) : "";
    }

    TestSupport::TempDir dir_;
};

TEST_F(ProgramTest, TheExitStatusAndTheOutputTellHowTheImportWent) {
    const std::string allItemsDone = "Overall Progress:      3 of      3 (100%)";
    struct Case {
        std::string plan;
        int exitCode;
        std::string closing;
        bool allItems;       // the job went through every item
        const char* report;  // how the crash report says the fault was handled, or nothing
    } cases[] = {
        {"", 0, FormatText("INFO_IMPORT_COMPLETED", 0, 0), true, nullptr},
        {"error=2", 1, FormatText("INFO_ERR_WARN", 1, 0), true, nullptr},
        {"warning=2", 0, FormatText("INFO_ERR_WARN", 0, 1), true, nullptr},
        // A fault inside one item: the item is reported, and the import goes on with the next.
        {"fault=2", 0, FormatText("INFO_ERR_WARN", 0, 1), true, "Handling: caught by a guard"},
        // A fault in the job itself: the job ends in order and counts as failed.
        {"jobfault", 1, FormatText("INFO_ERR_WARN", 1, 0), false, "Handling: caught by a guard"},
    };
    ReferenceServer server;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.plan);
        fs::remove_all(Work());
        CommandResult result = Run(test.plan, {"-NoPause", JobFile(server.Port())});
        EXPECT_EQ(result.exitCode, test.exitCode) << result.err;
        EXPECT_NE(result.out.find(test.closing), std::string::npos) << result.out;
        EXPECT_EQ(result.out.find(allItemsDone) != std::string::npos, test.allItems) << result.out;
        std::string log = Log();
        EXPECT_NE(result.out.find(FormatText("INFO_SEE_DETAILS", Files("PstImportWiz_").at(0).string())),
                  std::string::npos);
        std::vector<fs::path> reports = Files("TarvikCore_");
        if (test.report == nullptr) {
            EXPECT_TRUE(reports.empty());
            continue;
        }
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(ReadFile(reports[0]).find(test.report), std::string::npos);
        EXPECT_NE(log.find("CORE: Generated core dump: " + reports[0].string()), std::string::npos) << log;
        EXPECT_NE(log.find("Worker thread exiting"), std::string::npos);
    }
}

TEST_F(ProgramTest, PlainOutputWhenNotOnATerminal) {
    ReferenceServer server;
    CommandResult result = Run("items=2", {JobFile(server.Port())});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::string log = Files("PstImportWiz_").at(0).string();
    EXPECT_EQ(result.out, "\n" + FormatText("INFO_PROCESSING", (dir_ / "mail.pst").string()) +
                              "\n"
                              "Overall Progress:      0 of      0 (100%)\n"
                              "Total Errors:  0\n"
                              "Total Warnings:  0\n"
                              "Overall Progress:      0 of      2 (  0%)\n"
                              "Overall Progress:      1 of      2 ( 50%)\n"
                              "Overall Progress:      2 of      2 (100%)\n" +
                              FormatText("INFO_IMPORT_COMPLETED", 0, 0) +
                              FormatText("INFO_SEE_DETAILS", log));
    EXPECT_EQ(result.err, "");
}

TEST_F(ProgramTest, APasswordMissingFromTheJobFileIsReadFromStandardInput) {
    ReferenceServer server;
    CommandResult result = Run("", {JobFile(server.Port(), "")}, "secret\n");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find(FormatText("PROMPT_ENTER_TPW", "user@example.com")), std::string::npos);
    EXPECT_EQ(result.err.find("secret"), std::string::npos);
    EXPECT_EQ(result.out.find("secret"), std::string::npos);
}

TEST_F(ProgramTest, AFaultOutsideAnyGuardEndsTheRunWithTheTerminationMessage) {
    ReferenceServer server;
    CommandResult result = Run("startfault", {JobFile(server.Port())});
    EXPECT_EQ(result.exitCode, 128 + SIGILL);
    EXPECT_NE(result.err.find(FormatText("ERR_APP_TERM", Work().string())), std::string::npos) << result.err;
    std::vector<fs::path> reports = Files("TarvikCore_");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(ReadFile(reports[0]).find("Signal: 4 (SIGILL)"), std::string::npos);
    EXPECT_NE(ReadFile(reports[0]).find("Handling: not handled"), std::string::npos);
    EXPECT_NE(Log().find("CORE: Generated core dump: " + reports[0].string()), std::string::npos);
}

TEST_F(ProgramTest, WhatStartUpRefuses) {
    for (std::string name : {"Config.xml", "CONFIG.XML", "config.Xml"}) {
        CommandResult result = Run("", {(dir_ / name).string()});
        EXPECT_EQ(result.exitCode, 2) << name;
        EXPECT_NE(result.err.find(LookupText("ERR_CONFIGXML")), std::string::npos) << name;
    }
    CommandResult merelyEndingSo = Run("", {(dir_ / "myconfig.xml").string()});
    EXPECT_EQ(merelyEndingSo.err.find(LookupText("ERR_CONFIGXML")), std::string::npos);
    EXPECT_NE(merelyEndingSo.err.find(LookupText("ERR_INIT_IMPORTPARMS")), std::string::npos);

    WriteFile(dir_ / "broken.xml", "<TVKImport>");
    CommandResult broken = Run("", {(dir_ / "broken.xml").string()});
    EXPECT_EQ(broken.exitCode, 2);
    EXPECT_NE(broken.err.find((dir_ / "broken.xml").string() + ": "), std::string::npos) << broken.err;

    // Another copy is importing: this one ends at once, without touching that copy's log.
    fs::remove_all(Work());
    fs::create_directories(Work());
    fs::permissions(Work(), fs::perms::owner_all);
    int lock = open((Work() / "tvkimport.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    CommandResult second = Run("", {JobFile(1)});
    close(lock);
    EXPECT_EQ(second.exitCode, 2);
    EXPECT_NE(second.err.find(LookupText("ERR_ANOTHER_PROCESS")), std::string::npos);
    EXPECT_TRUE(Files("PstImportWiz_").empty());

    CommandResult usage = Run("", {});
    EXPECT_EQ(usage.exitCode, 2) << "no job file and no display: the usage";
    EXPECT_NE(usage.err.find(LookupText("INFO_USAGE")), std::string::npos);
    EXPECT_EQ(Run("", {"-unknown", "job.xml"}).exitCode, 2);
    CommandResult help = Run("", {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out, LookupText("INFO_USAGE"));
    EXPECT_EQ(Run("", {"--version"}).out, "tvkimport " TVK_PROJECT_VERSION "\n");
}

TEST_F(ProgramTest, TvkimportImportsAPstIntoTheServerAndARepeatedRunAddsNothing) {
    WriteFile(dir_ / "mail.json", R"({"folders": [{"name": "Inbox", "messages": [
        {"subject": "Grüße", "body": "Hallo", "from": "anna@example.com", "sent": "2024-03-01T10:00:00Z"},
        {"subject": "Second", "html": "<p>Hi</p>", "sent": "2024-03-02T10:00:00Z", "read": false}]},
      {"name": "Projects", "class": "IPF.Note", "messages": [{"subject": "Plan", "sent": "2024-03-03T10:00:00Z"}]}]})");
    CommandResult built = RunCommand({(TestSupport::BinaryDir() / "tools" / "pstgen").string(),
                                      (dir_ / "mail.json").string(), (dir_ / "mail.pst").string()});
    ASSERT_EQ(built.exitCode, 0) << built.err;
    ReferenceServer server;
    std::string tvkimport = (TestSupport::BinaryDir() / "import" / "console" / "tvkimport").string();

    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        CommandResult result = RunCommand({tvkimport, JobFile(server.Port())});
        EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
        nlohmann::ordered_json dump = server.Dump("user@example.com", false);
        std::vector<std::string> arrived;
        for (const auto& message : dump["messages"]) {
            arrived.push_back(message["folder"].get<std::string>() + " " +
                              message["subject"].get<std::string>() + " " +
                              message["flags"].get<std::string>());
        }
        std::sort(arrived.begin(), arrived.end());
        EXPECT_EQ(arrived, (std::vector<std::string>{"/Inbox Grüße ", "/Inbox Second u", "/Projects Plan "}));
    }
}

// tmux plays the user's terminal: the display is read back from its screen.
class Terminal {
  public:
    Terminal() : socket_("tvk-test-" + std::to_string(getpid())) {}
    ~Terminal() { Tmux({"kill-server"}); }

    CommandResult Tmux(std::vector<std::string> arguments,
                       const std::vector<std::string>& environment = {}) const {
        arguments.insert(arguments.begin(), {"tmux", "-u", "-L", socket_, "-f", "/dev/null"});
        return RunCommand(arguments, "", environment);
    }
    std::vector<std::string> Screen() const {
        std::vector<std::string> lines;
        std::string text = Tmux({"capture-pane", "-p", "-t", "run"}).out;
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }
    // Waits until `ready` holds for the screen; false after ten seconds.
    template <typename Ready>
    bool WaitFor(const Ready& ready) const {
        for (int attempt = 0; attempt < 500; ++attempt) {
            if (ready(Screen())) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

  private:
    std::string socket_;
};

TEST_F(ProgramTest, FullScreenProgressOnATerminal) {
    if (RunCommand({"tmux", "-V"}).exitCode != 0) {
        GTEST_SKIP() << "tmux is not installed";
    }
    ReferenceServer server;
    fs::path go = dir_ / "go";
    Terminal terminal;
    // The shell notes the exit status and keeps the terminal open, so that the last screen stays.
    fs::path status = dir_ / "status";
    std::string command = FakeProgram().string() + " -NoPause " + JobFile(server.Port()) + "; echo $? > " +
                          status.string() + "; exec sleep 60";
    ASSERT_EQ(terminal
                  .Tmux({"new-session", "-d", "-s", "run", "-x", "80", "-y", "24", command},
                        {"TVK_FAKE_IMPORT=items=4 wait=" + go.string() + " waitat=3", "LANG=C.UTF-8"})
                  .exitCode,
              0);

    // Two of four items done: the bar fills half of the 80 columns.
    std::vector<std::string> screen;
    bool halfway = terminal.WaitFor([&](const std::vector<std::string>& lines) {
        screen = lines;
        return lines.size() > 7 && lines[3].find("( 50%)") != std::string::npos;
    });
    ASSERT_TRUE(halfway) << ::testing::PrintToString(screen);
    std::string bar;
    for (int cell = 0; cell < 40; ++cell) {
        bar += "\u00a6";
    }
    EXPECT_EQ(screen[1], bar);
    EXPECT_EQ(screen[3], "Overall Progress:      2 of      4 ( 50%)");
    EXPECT_EQ(screen[5], "Total Errors:  0");
    EXPECT_EQ(screen[7], "Total Warnings:  0");

    // At the end the normal screen is back, with the job's closing text and the log's name.
    WriteFile(go, "");
    bool ended = terminal.WaitFor([&](const std::vector<std::string>& lines) {
        screen = lines;
        bool logNamed = std::any_of(lines.begin(), lines.end(),
                                    [](const std::string& line) { return line.starts_with("See "); });
        return logNamed && fs::exists(status) && ReadFile(status).ends_with("\n");
    });
    ASSERT_TRUE(ended) << ::testing::PrintToString(screen);
    EXPECT_EQ(ReadFile(status), "0\n");
    std::string text;
    for (const std::string& line : screen) {
        text += line + "\n";
    }
    EXPECT_NE(text.find("PST Import Complete\nTotal Errors: 0\nTotal Warnings: 0\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("See " + Work().string()), std::string::npos) << text;
    EXPECT_EQ(text.find("Overall Progress"), std::string::npos)
        << "the progress stayed in the alternate screen";
}

}  // namespace
