#include "import/console/TerminalRestore.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "runtime/FaultGuard.h"

namespace TerminalRestore {

namespace {

termios savedInput{};
std::atomic<bool> inputSaved{false};
std::atomic<int> fullScreenFd{-1};

void EndWithSignal(int signal) {
    Restore();
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    sigaction(signal, &defaults, nullptr);
    raise(signal);
}

}  // namespace

void Install() {
    struct sigaction action {};
    action.sa_handler = EndWithSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        sigaction(signal, &action, nullptr);
    }
    FaultGuards::SetTerminationHook(Restore);
}

void SaveInputMode(const termios& mode) {
    savedInput = mode;
    inputSaved = true;
}

void ForgetInputMode() {
    inputSaved = false;
}

void EnterFullScreen(int fd) {
    fullScreenFd = fd;
}

void LeaveFullScreen() {
    fullScreenFd = -1;
}

void Restore() {
    if (inputSaved.exchange(false)) {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedInput);
    }
    if (int fd = fullScreenFd.exchange(-1); fd >= 0) {
        ssize_t ignored = write(fd, leaveFullScreenSequence, sizeof leaveFullScreenSequence - 1);
        (void)ignored;
    }
}

}  // namespace TerminalRestore
