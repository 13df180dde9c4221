#pragma once
// Benchmarks measure each contender in a child process of its own, so that one's memory does not
// count in another's peak: wall time, peak resident memory and whether it succeeded.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace BenchSupport {

struct Measurement {
    double seconds = 0;
    double peakMiB = 0;
    bool ok = false;
};

// Runs `work` in a child process; the child's exit status says whether it worked.
inline Measurement InChild(const std::function<int()>& work) {
    std::fflush(stdout);  // or the child would print our buffered lines again
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        _exit(work());
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    Measurement m;
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.peakMiB = usage.ru_maxrss / 1024.0;
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return m;
}

// Runs a program with its standard output sent to `output` and its errors discarded.
inline Measurement Command(std::vector<std::string> argv, const std::string& output = "/dev/null") {
    return InChild([&] {
        FILE* out = std::freopen(output.c_str(), "w", stdout);
        if (out == nullptr || std::freopen("/dev/null", "w", stderr) == nullptr) {
            return 127;
        }
        std::vector<char*> args;
        for (auto& a : argv) {
            args.push_back(a.data());
        }
        args.push_back(nullptr);
        execvp(args[0], args.data());
        return 127;
    });
}

}  // namespace BenchSupport
