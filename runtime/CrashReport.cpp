#include "runtime/CrashReport.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "runtime/Log.h"

namespace {

// Text built in a fixed buffer: the signal handler may not allocate. Overlong text is cut.
class FixedText {
  public:
    FixedText(char* buffer, size_t size) : buffer_(buffer), size_(size) { buffer_[0] = '\0'; }

    FixedText& operator<<(const char* text) {
        while (*text != '\0' && length_ + 1 < size_) {
            buffer_[length_++] = *text++;
        }
        buffer_[length_] = '\0';
        return *this;
    }
    FixedText& Decimal(int64_t value, int width = 0, char pad = '0') {
        char digits[24];
        size_t count = 0;
        uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (value < 0) {
            digits[count++] = '-';
        }
        for (int filler = width - static_cast<int>(count); filler > 0; --filler) {
            *this << (pad == '0' ? "0" : " ");
        }
        while (count > 0) {
            char digit[2] = {digits[--count], '\0'};
            *this << digit;
        }
        return *this;
    }
    FixedText& Hex(uintptr_t value) {
        char digits[2 * sizeof value];
        size_t count = 0;
        do {
            digits[count++] = "0123456789abcdef"[value & 0xF];
            value >>= 4;
        } while (value != 0);
        while (count > 0) {
            char digit[2] = {digits[--count], '\0'};
            *this << digit;
        }
        return *this;
    }

    const char* Text() const { return buffer_; }
    size_t Length() const { return length_; }

  private:
    char* buffer_;
    size_t size_;
    size_t length_ = 0;
};

bool WriteAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        ssize_t written = write(fd, data, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

bool WriteText(int fd, const FixedText& text) {
    return WriteAll(fd, text.Text(), text.Length());
}

// Broken-down time without the C library (localtime_r may take locks).
struct CivilTime {
    int64_t year;
    int month, day, hour, minute, second;
};

CivilTime CivilFromSeconds(int64_t seconds) {
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        days -= 1;
    }
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    int64_t dayOfEra = days - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    int day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return {year,
            month,
            day,
            static_cast<int>(rest / 3600),
            static_cast<int>(rest / 60 % 60),
            static_cast<int>(rest % 60)};
}

constexpr size_t pathCapacity = sizeof(CrashReportResult::path);

// Set once by Configure before any fault can be reported; read by the signal handler.
char reportDirectory[pathCapacity];
char programName[256] = "tvkimport";
std::atomic<bool> configured{false};

// What RefreshSignalContext notes for the handler. The log path changes rarely (once per run), so
// it is only rewritten when it differs; the handler reads the buffer the index names.
std::atomic<long> utcOffsetSeconds{0};
char logPaths[2][pathCapacity];
std::atomic<int> currentLogPath{0};
std::mutex refreshLock;

int64_t LocalNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) + utcOffsetSeconds.load(std::memory_order_relaxed);
}

// One writer at a time, across threads; a thread that faults while writing does not wait for itself.
std::atomic<pid_t> writerThread{0};

class WriterLock {
  public:
    WriterLock() {
        pid_t self = gettid();
        pid_t expected = 0;
        while (!writerThread.compare_exchange_weak(expected, self)) {
            if (expected == self) {
                return;  // re-entered from a fault inside the writer
            }
            expected = 0;
            timespec pause{0, 1000000};
            nanosleep(&pause, nullptr);
        }
        owned_ = true;
    }
    ~WriterLock() {
        if (owned_) {
            writerThread.store(0);
        }
    }
    bool Owned() const { return owned_; }

  private:
    bool owned_ = false;
};

// Addresses and signals already reported; only touched under the writer lock. Once full, further
// faults are simply reported again.
constexpr size_t seenCapacity = 256;
uintptr_t seenAddresses[seenCapacity];
size_t seenAddressCount = 0;
int seenSignals[seenCapacity];
size_t seenSignalCount = 0;

bool SeenAddress(uintptr_t address) {
    for (size_t i = 0; i < seenAddressCount; ++i) {
        if (seenAddresses[i] == address) {
            return true;
        }
    }
    return false;
}

bool SeenSignal(int signal) {
    for (size_t i = 0; i < seenSignalCount; ++i) {
        if (seenSignals[i] == signal) {
            return true;
        }
    }
    return false;
}

void Remember(const FaultDescription& fault) {
    if (!SeenAddress(fault.instructionAddress) && seenAddressCount < seenCapacity) {
        seenAddresses[seenAddressCount++] = fault.instructionAddress;
    }
    if (!SeenSignal(fault.signal) && seenSignalCount < seenCapacity) {
        seenSignals[seenSignalCount++] = fault.signal;
    }
}

const char* CodeMeaning(int signal, int code) {
    if (code == SI_USER || code == SI_TKILL || code == SI_QUEUE) {
        return "sent by a process";
    }
    switch (signal) {
        case SIGSEGV:
            return code == SEGV_MAPERR   ? "address not mapped"
                   : code == SEGV_ACCERR ? "access not permitted"
                                         : "";
        case SIGBUS:
            return code == BUS_ADRALN   ? "misaligned address"
                   : code == BUS_ADRERR ? "no such physical address"
                   : code == BUS_OBJERR ? "object error"
                                        : "";
        case SIGFPE:
            return code == FPE_INTDIV   ? "integer division by zero"
                   : code == FPE_INTOVF ? "integer overflow"
                                        : "floating-point fault";
        case SIGILL:
            return code == ILL_ILLOPC   ? "illegal opcode"
                   : code == ILL_PRVOPC ? "privileged opcode"
                                        : "illegal instruction";
        default:
            return "";
    }
}

void WriteTime(FixedText& text, int64_t localSeconds) {
    CivilTime time = CivilFromSeconds(localSeconds);
    text.Decimal(time.year, 4) << "-";
    text.Decimal(time.month, 2) << "-";
    text.Decimal(time.day, 2) << " ";
    text.Decimal(time.hour, 2) << ":";
    text.Decimal(time.minute, 2) << ":";
    text.Decimal(time.second, 2);
}

bool WriteHeader(int fd, const FaultDescription& fault, FaultHandling handling) {
    char buffer[1024];
    FixedText text(buffer, sizeof buffer);
    text << programName << " crash report\nTime: ";
    WriteTime(text, LocalNow());
    text << " (local)\nProcess: ";
    text.Decimal(getpid()) << "\nThread: ";
    text.Decimal(fault.thread) << "\nSignal: ";
    text.Decimal(fault.signal) << " (" << SignalName(fault.signal) << "), code ";
    text.Decimal(fault.code);
    if (const char* meaning = CodeMeaning(fault.signal, fault.code); *meaning != '\0') {
        text << " (" << meaning << ")";
    }
    text << "\nFault address: 0x";
    text.Hex(fault.faultAddress) << "\nInstruction address: 0x";
    text.Hex(fault.instructionAddress) << "\nHandling: ";
    text << (handling == FaultHandling::Caught ? "caught by a guard; the program went on"
                                               : "not handled; the program ended");
    text << "\n\nBacktrace:\n";
    return WriteText(fd, text);
}

bool CopyMemoryMap(int fd) {
    int maps = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps < 0) {
        return WriteAll(fd, "(unavailable)\n", 14);
    }
    char buffer[4096];
    bool ok = true;
    for (ssize_t count; ok && (count = read(maps, buffer, sizeof buffer)) != 0;) {
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        ok = WriteAll(fd, buffer, static_cast<size_t>(count));
    }
    close(maps);
    return ok;
}

bool WriteBody(int fd, const FaultDescription& fault, FaultHandling handling) {
    if (!WriteHeader(fd, fault, handling)) {
        return false;
    }
    void* frames[64];
    int depth = backtrace(frames, 64);
    backtrace_symbols_fd(frames, depth, fd);
    return WriteAll(fd, "\nMemory map:\n", 13) && CopyMemoryMap(fd) && fsync(fd) == 0;
}

// Creates the report file under a name not yet taken; -1 when none can be created.
int CreateReportFile(char* path) {
    int64_t now = LocalNow();
    for (int sequence = 1; sequence < 100; ++sequence) {
        FixedText text(path, pathCapacity);
        char name[64];
        CrashReportBaseName(now, sequence, name, sizeof name);
        text << reportDirectory << "/" << name << ".dmp";
        int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

void FormatLogLines(const FaultDescription& fault, const CrashReportResult& result, FixedText& lines,
                    const char* header) {
    if (result.outcome == CrashReportOutcome::Similar) {
        lines << header << "Similar core dump already generated. Hence skipping this one.\n";
        return;
    }
    lines << header << "Exception Address: 0x";
    lines.Hex(fault.instructionAddress) << "\n";
    if (result.outcome == CrashReportOutcome::Written) {
        lines << header << "CORE: Generated core dump: " << result.path << "\n";
    } else if (result.outcome == CrashReportOutcome::Failed) {
        lines << header << "CORE: Failed to generate core dump.\n";
    }
}

}  // namespace

namespace CrashReports {

bool Configure(const std::string& directory, const std::string& program) {
    struct stat status {};
    if (directory.empty() || directory.size() + 64 >= pathCapacity || stat(directory.c_str(), &status) != 0 ||
        !S_ISDIR(status.st_mode)) {
        configured = false;
        return false;
    }
    {
        WriterLock lock;
        snprintf(reportDirectory, sizeof reportDirectory, "%s", directory.c_str());
        snprintf(programName, sizeof programName, "%s", program.c_str());
    }
    // Loads the unwinder now: the first backtrace would otherwise load it inside the signal handler.
    void* frame[1];
    backtrace(frame, 1);
    RefreshSignalContext();
    configured = true;
    return true;
}

void RefreshSignalContext() {
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    utcOffsetSeconds.store(local.tm_gmtoff, std::memory_order_relaxed);

    std::string path = LogFilePath();
    std::lock_guard lock(refreshLock);
    int current = currentLogPath.load();
    if (path != logPaths[current] && path.size() < pathCapacity) {
        int next = 1 - current;
        snprintf(logPaths[next], pathCapacity, "%s", path.c_str());
        currentLogPath.store(next);
    }
}

}  // namespace CrashReports

CrashReportResult WriteCrashReport(const FaultDescription& fault, FaultHandling handling) {
    CrashReportResult result;
    WriterLock lock;
    if (!lock.Owned()) {
        result.outcome = CrashReportOutcome::Failed;
        return result;
    }
    if (SeenAddress(fault.instructionAddress) && SeenSignal(fault.signal)) {
        result.outcome = CrashReportOutcome::Similar;
        return result;
    }
    if (!configured.load()) {
        return result;
    }
    int fd = CreateReportFile(result.path);
    if (fd < 0) {
        result.outcome = CrashReportOutcome::Failed;
        return result;
    }
    bool written = WriteBody(fd, fault, handling);
    close(fd);
    if (!written) {
        unlink(result.path);
        result.outcome = CrashReportOutcome::Failed;
        return result;
    }
    Remember(fault);
    result.outcome = CrashReportOutcome::Written;
    return result;
}

void LogCrashReport(const FaultDescription& fault, const CrashReportResult& result) {
    char buffer[2048];
    FixedText lines(buffer, sizeof buffer);
    FormatLogLines(fault, result, lines, "");
    // One LogLine per line: each gets its own time and thread header.
    std::string text = lines.Text();
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        LogLine("%s", text.substr(start, end - start).c_str());
    }
}

void AppendCrashReportToLog(const FaultDescription& fault, const CrashReportResult& result) {
    const char* path = logPaths[currentLogPath.load()];
    if (*path == '\0') {
        return;
    }
    char header[64];
    FixedText stamp(header, sizeof header);
    CivilTime time = CivilFromSeconds(LocalNow());
    stamp.Decimal(time.day, 2) << "-";
    stamp.Decimal(time.month, 2) << "-";
    stamp.Decimal(time.year) << " ";
    stamp.Decimal(time.hour, 2) << ":";
    stamp.Decimal(time.minute, 2) << ":";
    stamp.Decimal(time.second, 2) << " [";
    stamp.Decimal(fault.thread, 3, ' ') << "]: ";

    char buffer[2048];
    FixedText lines(buffer, sizeof buffer);
    FormatLogLines(fault, result, lines, header);
    int fd = open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0) {
        WriteText(fd, lines);
        close(fd);
    }
}

size_t CrashReportBaseName(int64_t localSeconds, int sequence, char* buffer, size_t size) {
    CivilTime time = CivilFromSeconds(localSeconds);
    FixedText name(buffer, size);
    name << "TarvikCore_";
    name.Decimal(time.month, 2).Decimal(time.day, 2).Decimal(time.year) << "_";
    name.Decimal(time.hour, 2).Decimal(time.minute, 2).Decimal(time.second, 2);
    if (sequence > 1) {
        name << "_";
        name.Decimal(sequence);
    }
    return name.Length();
}

const char* SignalName(int signal) {
    switch (signal) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGFPE:
            return "SIGFPE";
        case SIGILL:
            return "SIGILL";
        case SIGABRT:
            return "SIGABRT";
        default:
            return "signal";
    }
}
