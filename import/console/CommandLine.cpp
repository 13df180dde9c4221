#include "import/console/CommandLine.h"

#include <strings.h>

namespace {

bool Is(const std::string& name, const char* expected) {
    return strcasecmp(name.c_str(), expected) == 0;
}

// The switch name of a switch argument: the text after its "-" or "--".
std::string SwitchName(const std::string& argument) {
    size_t prefix = argument.starts_with("--") ? 2 : 1;
    return argument.substr(prefix);
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (const std::string& argument : arguments) {
        bool isSwitch = argument.size() > 1 && argument[0] == '-';
        if (isSwitch || Is(argument, "/NoPause")) {
            std::string name = isSwitch ? SwitchName(argument) : argument.substr(1);
            if (Is(name, "NoPause")) {
                line.pause = false;
            } else if (Is(name, "help") || name == "h" || name == "?") {
                line.help = true;
            } else if (Is(name, "version") || name == "V") {
                line.version = true;
            } else if (!line.unknownSwitch) {
                line.unknownSwitch = argument;
            }
            continue;
        }
        bool noPause = Is(argument, "NoPause");
        if (noPause) {
            line.pause = false;
        }
        if (!line.jobFile) {
            line.jobFile = argument;
        } else if (!noPause && !line.extraArgument) {
            line.extraArgument = argument;
        }
    }
    return line;
}
