#include "runtime/FaultGuard.h"

#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// The signals a guard catches; SIGABRT is only reported, never caught: an abort means the program
// found its own state broken.
constexpr int caughtSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr int reportedSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

struct GuardFrame {
    sigjmp_buf jump;
    GuardFrame* enclosing = nullptr;
    FaultDescription fault;
    CrashReportResult report;
};

// Trivially initialised, so the signal handler can read it without running any initialiser.
thread_local GuardFrame* innermostGuard = nullptr;

char terminationText[2048];
std::atomic<void (*)()> terminationHook{nullptr};
std::once_flag handlersInstalled;
std::mutex textLock;

// Big enough for the backtrace and the report writer on top of the interrupted frames' needs.
constexpr size_t alternateStackSize = 256 * 1024;

class AlternateStack {
  public:
    ~AlternateStack() {
        if (memory_ != nullptr) {
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            sigaltstack(&off, nullptr);
            munmap(memory_, alternateStackSize);
        }
    }
    void Ensure() {
        if (memory_ != nullptr) {
            return;
        }
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0 &&
            current.ss_size >= alternateStackSize) {
            return;  // someone else's stack, big enough
        }
        void* memory =
            mmap(nullptr, alternateStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) {
            return;
        }
        stack_t stack{};
        stack.ss_sp = memory;
        stack.ss_size = alternateStackSize;
        if (sigaltstack(&stack, nullptr) != 0) {
            munmap(memory, alternateStackSize);
            return;
        }
        memory_ = memory;
    }

  private:
    void* memory_ = nullptr;
};

thread_local AlternateStack alternateStack;

uintptr_t InstructionAddress(const void* context) {
    const auto* machine = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return static_cast<uintptr_t>(machine->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return static_cast<uintptr_t>(machine->uc_mcontext.pc);
#else
    (void)machine;
    return 0;
#endif
}

bool Caught(int signal) {
    return std::find(std::begin(caughtSignals), std::end(caughtSignals), signal) != std::end(caughtSignals);
}

void EndProcess(int signal, const FaultDescription& fault) {
    CrashReportResult report = WriteCrashReport(fault, FaultHandling::Unhandled);
    AppendCrashReportToLog(fault, report);
    if (void (*hook)() = terminationHook.load(); hook != nullptr) {
        hook();
    }
    size_t length = strlen(terminationText);
    for (const char* text = terminationText; length > 0;) {
        ssize_t written = write(STDERR_FILENO, text, length);
        if (written <= 0 && errno != EINTR) {
            break;
        }
        if (written > 0) {
            text += written;
            length -= static_cast<size_t>(written);
        }
    }
    // The default action ends the process with this signal once the handler returns (a fault
    // re-executed would raise it again anyway).
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    sigaction(signal, &defaults, nullptr);
    raise(signal);
}

void HandleFault(int signal, siginfo_t* info, void* context) {
    int savedErrno = errno;
    FaultDescription fault;
    fault.signal = signal;
    fault.code = info != nullptr ? info->si_code : 0;
    fault.faultAddress = info != nullptr ? reinterpret_cast<uintptr_t>(info->si_addr) : 0;
    fault.instructionAddress = context != nullptr ? InstructionAddress(context) : 0;
    fault.thread = gettid();

    GuardFrame* guard = innermostGuard;
    if (guard != nullptr && Caught(signal)) {
        // A fault while this guard reports belongs to the enclosing guard, not to this one again.
        innermostGuard = guard->enclosing;
        guard->fault = fault;
        guard->report = WriteCrashReport(fault, FaultHandling::Caught);
        siglongjmp(guard->jump, 1);
    }
    EndProcess(signal, fault);
    errno = savedErrno;
}

void InstallHandlers() {
    struct sigaction action {};
    action.sa_sigaction = HandleFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : reportedSignals) {
        sigaction(signal, &action, nullptr);
    }
}

void EnsureHandlers() {
    alternateStack.Ensure();
    std::call_once(handlersInstalled, InstallHandlers);
}

}  // namespace

namespace FaultGuards {

void Install(const std::string& text) {
    {
        std::lock_guard lock(textLock);
        snprintf(terminationText, sizeof terminationText, "%s\n", text.c_str());
    }
    EnsureHandlers();
    CrashReports::RefreshSignalContext();
}

void SetTerminationHook(void (*hook)()) {
    terminationHook.store(hook);
}

}  // namespace FaultGuards

std::optional<CaughtFault> RunGuardedCall(void (*call)(void*), void* work) {
    EnsureHandlers();
    CrashReports::RefreshSignalContext();
    GuardFrame frame;
    frame.enclosing = innermostGuard;
    if (sigsetjmp(frame.jump, 1) != 0) {
        // The handler has already made the enclosing guard the innermost one again.
        LogCrashReport(frame.fault, frame.report);
        CaughtFault caught{frame.fault, frame.report.outcome, {}};
        if (frame.report.outcome == CrashReportOutcome::Written) {
            caught.reportPath = frame.report.path;
        }
        return caught;
    }
    innermostGuard = &frame;
    try {
        call(work);
    } catch (...) {
        innermostGuard = frame.enclosing;
        throw;
    }
    innermostGuard = frame.enclosing;
    return std::nullopt;
}
