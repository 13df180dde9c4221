#pragma once
// Crash reports. When the program meets a processor fault (invalid memory access, bus error,
// arithmetic fault, illegal instruction) it writes a text report into the work directory: the
// signal and its code, the faulting instruction and memory addresses, the thread, a backtrace and
// the process's memory map. Support staff read it together with the run log.
//
// Reports are named "TarvikCore_MMDDYYYY_HHMMSS.dmp" after the local time; a second report within
// the same second gets "_2", "_3", ... before the extension instead of replacing the first. A fault
// is reported once: when both its instruction address and its signal have each been reported before
// (by the same or by different reports), it counts as similar and no new file is written. A report
// that cannot be written leaves no file behind and records nothing, so the fault is tried again.
//
// WriteCrashReport runs inside a signal handler: it only uses async-signal-safe calls (no heap, no
// locks other than its own), and it serialises concurrent writers itself. Everything else here is
// for ordinary code.

#include <sys/types.h>

#include <cstdint>
#include <string>

// What the signal handler learnt about one fault.
struct FaultDescription {
    int signal = 0;
    int code = 0;                // si_code: why the signal was raised
    uintptr_t faultAddress = 0;  // the memory address that was accessed (si_addr)
    uintptr_t instructionAddress = 0;
    pid_t thread = 0;
};

enum class CrashReportOutcome {
    Written,   // a new report file
    Similar,   // address and signal were reported before: no file
    Failed,    // the file could not be written: nothing left behind
    Disabled,  // crash reports are not set up: no file
};

// The path buffer is fixed so that the signal handler can fill it.
struct CrashReportResult {
    CrashReportOutcome outcome = CrashReportOutcome::Disabled;
    char path[1024] = {};
};

// Whether the faulting code is left to go on (a guard caught the fault) or the process ends.
enum class FaultHandling { Caught, Unhandled };

namespace CrashReports {

// Reports go into `directory` (normally the work directory); `program` ("tvkimport 1.0.0") heads
// every report. Until this is called reports are disabled. False when the directory is unusable.
bool Configure(const std::string& directory, const std::string& program);

// Takes note of what a signal handler cannot look up itself: the local time zone offset and the path
// of the run's log. Called at set-up and whenever a guard is entered.
void RefreshSignalContext();

}  // namespace CrashReports

// Writes the report for one fault (async-signal-safe). `handling` is recorded in the report.
CrashReportResult WriteCrashReport(const FaultDescription& fault, FaultHandling handling);

// The log lines for a fault caught by a guard: "Similar core dump already generated. Hence
// skipping this one.", or "Exception Address: 0x..." followed by "CORE: Generated core dump: <path>"
// or "CORE: Failed to generate core dump.". Ordinary code only (takes the log lock).
void LogCrashReport(const FaultDescription& fault, const CrashReportResult& result);

// The same lines appended straight to the run's log file, for a fault that ends the process
// (async-signal-safe: the log's lock may be held by the faulting code).
void AppendCrashReportToLog(const FaultDescription& fault, const CrashReportResult& result);

// "TarvikCore_MMDDYYYY_HHMMSS" for a local time given as seconds since 1970 (the time zone offset
// already added); `sequence` 1 adds nothing, 2 and more add "_<sequence>". Writes at most `size`
// bytes including the terminating zero and returns the length. Async-signal-safe.
size_t CrashReportBaseName(int64_t localSeconds, int sequence, char* buffer, size_t size);

// The signal's name ("SIGSEGV"), or "signal" for one without a name here. Async-signal-safe.
const char* SignalName(int signal);
