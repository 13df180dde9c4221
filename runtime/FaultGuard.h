#pragma once
// Guards that survive processor faults. Code run through RunGuarded (the import worker) or
// GuardItem (one item of a scan) that faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL) does not end the
// process: the fault is written to a crash report (CrashReport.h) and logged, the guarded code is
// abandoned where it stood, and the guard returns a description so that its caller can report the
// failure and go on. Abandoned code runs no destructors and releases nothing it held: what it
// allocated is lost, and a lock it held stays locked, so callers clean up only what they own.
//
// A fault outside any guard (or an abort) writes its report, appends the log lines straight to the
// run's log, writes the termination text to standard error and ends the process with the signal.
//
// Guards nest; each thread has its own, and a thread gets an alternate signal stack the first time
// it enters a guard, so that even a stack overflow can be reported. C++ exceptions pass through a
// guard unchanged.

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "runtime/CrashReport.h"
#ifdef TVK_TEST_HOOKS
#include "runtime/FaultInjection.h"
#endif

// A fault a guard caught.
struct CaughtFault {
    FaultDescription fault;
    CrashReportOutcome report = CrashReportOutcome::Disabled;
    std::string reportPath;  // empty unless a report was written
};

namespace FaultGuards {

// Installs the fault handlers for the whole process and the calling thread's alternate stack.
// `terminationText` is what the user reads when a fault ends the process. May be called again to
// change the text; guards install the handlers themselves when nobody did.
void Install(const std::string& terminationText);

// An async-signal-safe function run just before the termination text is written, to put the
// terminal back in order (a full-screen display, say); nullptr for none.
void SetTerminationHook(void (*hook)());

}  // namespace FaultGuards

// The core of the guards below: calls call(work) under a guard.
std::optional<CaughtFault> RunGuardedCall(void (*call)(void*), void* work);

// Runs `work()`; nothing when it returned (or threw: exceptions pass through), the fault when one
// was caught. The fault's report is written and logged before this returns.
template <typename Work>
std::optional<CaughtFault> RunGuarded(Work&& work) {
    using Callable = std::remove_reference_t<Work>;
    return RunGuardedCall([](void* callable) { (*static_cast<Callable*>(callable))(); },
                          const_cast<std::remove_const_t<Callable>*>(&work));
}

// The guard around one item's processing in a scan: as RunGuarded. `itemKey` names the item (its
// entry id in hexadecimal); test builds can make a chosen item fault (FaultInjection.h).
template <typename Work>
std::optional<CaughtFault> GuardItem([[maybe_unused]] std::string_view itemKey, Work&& work) {
    return RunGuarded([&] {
#ifdef TVK_TEST_HOOKS
        FaultInjection::AtItem(itemKey);
#endif
        work();
    });
}
