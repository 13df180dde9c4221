// The command line: switches in their spellings, the job file, and the mistakes that are refused.

#include "import/console/CommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, SwitchesAndTheJobFile) {
    struct Case {
        std::vector<std::string> arguments;
        bool pause;
        std::optional<std::string> jobFile;
        std::optional<std::string> unknown;
        std::optional<std::string> extra;
    } cases[] = {
        {{"job.xml"}, true, "job.xml", {}, {}},
        {{"-NoPause", "job.xml"}, false, "job.xml", {}, {}},
        {{"/nopause", "/home/anna/job.xml"}, false, "/home/anna/job.xml", {}, {}},
        {{"job.xml", "--NOPAUSE"}, false, "job.xml", {}, {}},
        {{"job.xml", "NoPause"}, false, "job.xml", {}, {}},
        // Without a prefix it is also an ordinary argument: written first it is the job file.
        {{"NoPause", "job.xml"}, false, "NoPause", {}, "job.xml"},
        {{"-x", "job.xml"}, true, "job.xml", "-x", {}},
        {{"a.xml", "b.xml"}, true, "a.xml", {}, "b.xml"},
        {{"-"}, true, "-", {}, {}},
        {{}, true, {}, {}, {}},
    };
    for (const Case& test : cases) {
        CommandLine line = ParseCommandLine(test.arguments);
        EXPECT_EQ(line.pause, test.pause);
        EXPECT_EQ(line.jobFile, test.jobFile);
        EXPECT_EQ(line.unknownSwitch, test.unknown);
        EXPECT_EQ(line.extraArgument, test.extra);
    }
    for (std::string help : {"--help", "-h", "-?", "-HELP"}) {
        EXPECT_TRUE(ParseCommandLine({help}).help) << help;
    }
    for (std::string version : {"--version", "-V", "-Version"}) {
        EXPECT_TRUE(ParseCommandLine({version}).version) << version;
    }
}

}  // namespace
