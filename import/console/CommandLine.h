#pragma once
// The command line of tvkimport. An argument that begins with "-" is a switch ("-NoPause",
// "--help", "-h", "--version", "-V"); "/NoPause" is accepted too, any other argument beginning with
// "/" is a path. Switch names compare without regard to case. "NoPause" written without a prefix
// also turns the pause off and otherwise counts as an ordinary argument, so written first it is
// taken as the job file. The first ordinary argument is the job file.

#include <optional>
#include <string>
#include <vector>

struct CommandLine {
    bool pause = true;  // wait for Enter before ending (only when someone is at the terminal)
    bool help = false;
    bool version = false;
    std::optional<std::string> jobFile;
    std::optional<std::string> unknownSwitch;  // the first switch that is not known
    std::optional<std::string> extraArgument;  // the first ordinary argument after the job file
};

// `arguments` without the program's name.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);
