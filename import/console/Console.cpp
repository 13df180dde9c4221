#include "import/console/Console.h"

#include <unistd.h>

#include <cerrno>
#include <string>

#include "runtime/Log.h"

bool WriteFully(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t written = write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

void Console::Print(std::string_view text) const {
    WriteFully(outFd_, text);
}

void Console::Show(std::string_view text) const {
    std::string line(text);
    if (line.empty() || line.back() != '\n') {
        line += '\n';
    }
    WriteFully(errorFd_, line);
    LogLine("%s", line.c_str());
}
