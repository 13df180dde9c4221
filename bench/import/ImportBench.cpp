// How fast a whole import runs: a synthetic mailbox made by pstgen is imported into the reference
// server by ImportWorker, in this process, as tvkimport does. Prints items and MIME megabytes per
// second, the client's CPU time per item and its share of the wall time, and the client's peak
// memory. The server runs in its own process, so its work is not counted as the client's.
//
//   import_bench [--messages 50000] [--folders 20] [--size 1073741824] [--pst FILE] [--keep]
//
// --pst reuses a mailbox made earlier (pstgen --synthetic ...); --keep leaves the generated one.

#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "import/ImportStatistics.h"
#include "runtime/ImportParams.h"
#include "runtime/Log.h"
#include "tests/import/EngineTestSupport.h"
#include "tests/import/ImportJob.h"
#include "tests/support/ReferenceServer.h"

namespace {

struct Settings {
    std::string messages = "50000";
    std::string folders = "20";
    std::string size = "1073741824";
    std::string pst;
    bool keep = false;
};

Settings ParseArguments(int argc, char** argv) {
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--keep") {
            settings.keep = true;
            continue;
        }
        if (i + 1 >= argc) {
            break;
        }
        std::string value = argv[++i];
        if (name == "--messages") {
            settings.messages = value;
        } else if (name == "--folders") {
            settings.folders = value;
        } else if (name == "--size") {
            settings.size = value;
        } else if (name == "--pst") {
            settings.pst = value;
        }
    }
    return settings;
}

double Seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings = ParseArguments(argc, argv);
    TestSupport::TempDir scratch;
    setenv("TVKIMPORT_REGISTRY", (scratch / "registry").c_str(), 1);
    std::string pst = settings.pst;
    if (pst.empty()) {
        pst =
            (settings.keep ? std::filesystem::current_path() / "import_bench.pst" : scratch / "synthetic.pst")
                .string();
        std::printf("making %s messages in %s folders (about %s bytes) ...\n", settings.messages.c_str(),
                    settings.folders.c_str(), settings.size.c_str());
        TestSupport::CommandResult made = TestSupport::RunCommand(
            {(TestSupport::BinaryDir() / "tools/pstgen").string(), "--synthetic", "--messages",
             settings.messages, "--folders", settings.folders, "--size", settings.size, pst});
        if (made.exitCode != 0) {
            std::fprintf(stderr, "pstgen failed: %s\n", made.err.c_str());
            return 1;
        }
    }

    TestSupport::ReferenceServer server(TestSupport::ReferenceServerOptions{.requestLog = false});
    EngineTest::JobOptions options;
    options.pstPath = pst;
    options.port = server.Port();
    options.workDirectory = scratch.Path().string();
    OpenLogFile((scratch / "import.log").string());
    EngineTest::RecordingProgress progress;

    double cpuBefore = CpuSeconds();
    auto started = std::chrono::steady_clock::now();
    if (!EngineTest::RunImportJob(options, progress)) {
        std::fprintf(stderr, "the import could not start\n");
        return 1;
    }
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    double cpu = CpuSeconds() - cpuBefore;
    CloseLogFile();

    std::shared_ptr<ImportStatistics> statistics = GetImportParams().statistics;
    double items = statistics ? statistics->itemsAttempted : 0;
    double megabytes = statistics ? static_cast<double>(statistics->totalBytes) / (1024.0 * 1024.0) : 0;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);

    std::printf("items imported        : %.0f (%zu errors, %zu warnings)\n", items, progress.errors.size(),
                progress.warnings.size());
    std::printf("MIME data             : %.1f MiB in %d batches\n", megabytes,
                statistics ? statistics->batches : 0);
    std::printf("wall time             : %.2f s\n", wall);
    std::printf("items per second      : %.0f\n", wall > 0 ? items / wall : 0);
    std::printf("MiB per second        : %.2f\n", wall > 0 ? megabytes / wall : 0);
    std::printf("client CPU per item   : %.3f ms\n", items > 0 ? cpu * 1000 / items : 0);
    std::printf("client CPU / wall     : %.1f %% (target: under 25 %%)\n", wall > 0 ? cpu * 100 / wall : 0);
    std::printf("client peak memory    : %.1f MiB (target: under 128 MiB)\n",
                static_cast<double>(usage.ru_maxrss) / 1024.0);
    for (size_t i = 0; i < progress.errors.size() && i < 5; ++i) {
        std::printf("error: %s\n", progress.errors[i].c_str());
    }
    for (size_t i = 0; i < progress.warnings.size() && i < 5; ++i) {
        std::printf("warning: %s\n", progress.warnings[i].c_str());
    }
    return progress.errors.empty() ? 0 : 1;
}
