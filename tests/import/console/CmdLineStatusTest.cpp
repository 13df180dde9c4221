// The console's progress sink and its two displays, and the password prompt's editing rules.

#include "import/console/CmdLineStatus.h"

#include <gtest/gtest.h>

#include "import/console/PasswordPrompt.h"
#include "runtime/Log.h"
#include "tests/import/console/Capture.h"
#include "tests/support/TestSupport.h"

namespace {

// A job of four items with one error and one warning, as the worker reports it.
void RunJob(CmdLineStatus& status) {
    status.BeginAccount("anna@example.com");
    status.SetTotal(4);
    status.SetDone(1);
    status.Step();
    status.ReportError("item 2 failed");
    status.Step();
    status.ReportWarning("item 3 too large");
    status.Step();
    status.SetStatus("Importing messages");
    status.Finished();
}

TEST(CmdLineStatus, PlainLinesWhenNotOnATerminal) {
    Capture out;
    ImportParams params;
    {
        CmdLineStatus status(params, MakePlainScreen(out.Fd()));
        RunJob(status);
        EXPECT_EQ(status.Errors(), 1);
        EXPECT_EQ(status.Warnings(), 1);
    }
    EXPECT_EQ(out.Text(),
              "Overall Progress:      0 of      0 (100%)\n"
              "Total Errors:  0\n"
              "Total Warnings:  0\n"
              "Overall Progress:      1 of      4 ( 25%)\n"
              "Overall Progress:      2 of      4 ( 50%)\n"
              "Total Errors:  1\n"
              "Overall Progress:      3 of      4 ( 75%)\n"
              "Total Warnings:  1\n"
              "Overall Progress:      4 of      4 (100%)\n"
              "PST Import had Errors or Warnings\nTotal Errors: 1\nTotal Warnings: 1\n");
    ASSERT_EQ(params.problems.size(), 2u);
    EXPECT_EQ(params.problems[0].kind, ProblemKind::Error);
    EXPECT_EQ(params.problems[0].message, "item 2 failed");
    EXPECT_EQ(params.problems[1].kind, ProblemKind::Warning);
}

TEST(CmdLineStatus, FullScreenOnATerminal) {
    Capture out;
    ImportParams params;
    {
        // 8 rows of 20 columns: the warnings line (row 7) is the last row.
        CmdLineStatus status(params, MakeTerminalScreen(out.Fd(), TerminalSize{8, 20}));
        RunJob(status);
        status.SetDone(8);  // more than the total: the bar stops short of the last column
    }
    std::string text = out.Text();
    EXPECT_EQ(text.find("\x1b[?1049h\x1b[2J\x1b[?25l"), 0u) << "alternate screen, cleared, cursor hidden";
    EXPECT_NE(text.find("\x1b[4;1HOverall Progress:      2 of      4 ( 50%)\x1b[K"), std::string::npos);
    EXPECT_NE(text.find("\x1b[6;1HTotal Errors:  1\x1b[K"), std::string::npos);
    EXPECT_NE(text.find("\x1b[8;1HTotal Warnings:  1\x1b[K"), std::string::npos);
    std::string cell = "\u00a6";
    auto bar = [&](int cells) {
        std::string drawn = "\x1b[2;1H";
        for (int i = 0; i < cells; ++i)
            drawn += cell;
        return drawn + "\x1b[K";
    };
    EXPECT_NE(text.find(bar(10)), std::string::npos) << "half of 20 columns";
    EXPECT_NE(text.find(bar(19)), std::string::npos) << "never the last column";
    EXPECT_EQ(text.find(bar(20)), std::string::npos);
    // Back on the normal screen, the closing text stays readable.
    std::string end =
        "\x1b[?25h\x1b[?1049lPST Import had Errors or Warnings\nTotal Errors: 1\nTotal Warnings: 1\n";
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
}

TEST(CmdLineStatus, ACleanJobSaysItIsComplete) {
    Capture out;
    ImportParams params;
    {
        CmdLineStatus status(params, MakePlainScreen(out.Fd()));
        status.BeginAccount("anna@example.com");
        status.Finished();
    }
    EXPECT_NE(out.Text().find("PST Import Complete\nTotal Errors: 0\nTotal Warnings: 0\n"),
              std::string::npos);
    EXPECT_EQ(CmdLineStatus::Percent(1, 3), 33);
    EXPECT_EQ(CmdLineStatus::Percent(0, 0), 100);
    EXPECT_EQ(CmdLineStatus::Percent(5, 4), 100);
}

TEST(PasswordEditor, EditsAsTheUserTypes) {
    struct Case {
        std::string typed;
        std::string password;
        std::string echo;
    } cases[] = {
        {"secret\r", "secret", "******"},
        {"ab\x7f"
         "c\n",
         "ac", "**\b \b*"},
        {"\b\ba\bb\n", "b", "*\b \b*"},
        {"a\tb\x1b[Ac\x1bOPd\x01\n", "abcd", "****"},          // Tab, cursor up, F1, Ctrl-A are ignored
        {"\xc3\xa9t\xc3\xa9\x7f\n", "\xc3\xa9t", "***\b \b"},  // characters, not bytes
        {"ab\nc", "ab", "**"},
    };
    for (const Case& test : cases) {
        PasswordEditor editor;
        std::string echo;
        for (unsigned char byte : test.typed) {
            echo += editor.Feed(byte);
        }
        EXPECT_TRUE(editor.Done());
        EXPECT_EQ(editor.Password(), test.password);
        EXPECT_EQ(echo, test.echo);
    }

    PasswordEditor longest;
    std::string typed(300, 'x');
    for (unsigned char byte : typed + "\xc3\xa9\r") {
        longest.Feed(byte);
    }
    EXPECT_EQ(longest.Password(), std::string(PasswordEditor::maxCharacters, 'x'));
}

}  // namespace
