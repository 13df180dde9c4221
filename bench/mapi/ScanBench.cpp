// What the first phase of the item walk costs, against the PST library's own metadata enumeration.
//
//   build/release/bench/mapi/scan_bench [--file MAILBOX.pst] [--messages N] [--size BYTES] [--runs N]
//
// Without --file it generates the synthetic mailbox of the PST benchmark (50,000 messages, about
// 1 GiB) in a temporary directory. With a warm page cache it measures the processor time, best of
// --runs (default 5):
//   enumerate   the PST library: every folder, and per message the entry id, submit time and
//               search key from the contents table (as bench/pst does)
//   scan        the source side: logon, store, folder walk, then MailboxScanner::Scan up to its
//               first handler call: restriction, sort, batches of 50, ShouldImport, the heap
// and prints the ratio (target: scan no more than twice enumerate). Nothing is asserted.

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "mapi/MailboxScanner.h"
#include "mapi/Session.h"
#include "mapi/TemporaryProfile.h"
#include "pst/PropTags.h"
#include "pst/PstFile.h"
#include "runtime/ImportParams.h"
#include "tools/SyntheticMailbox.h"

namespace {

namespace fs = std::filesystem;
using namespace Tarvik::MAPI;

// Processor time of the process: on a shared machine it varies far less than the wall clock.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double Seconds(const std::function<void()>& work) {
    double start = CpuSeconds();
    work();
    return CpuSeconds() - start;
}

void ForEachFolder(pst::PstFile& file, uint32_t nid, std::set<uint32_t>& seen,
                   const std::function<void(const pst::Folder&)>& visit) {
    if (!seen.insert(nid).second) {
        return;
    }
    pst::Folder folder = file.OpenFolder(nid);
    if (folder.IsSearchFolder()) {
        return;
    }
    visit(folder);
    if (auto h = folder.HierarchyTable()) {
        for (size_t i = 0; i < h->RowCount(); ++i) {
            ForEachFolder(file, h->RowId(i), seen, visit);
        }
    }
}

size_t Enumerate(const std::string& path) {
    pst::PstFile file(path);
    const std::vector<uint32_t> columns = {pst::Tag::ClientSubmitTime, pst::Tag::SearchKey};
    size_t rows = 0;
    uint64_t checksum = 0;
    std::set<uint32_t> seen;
    ForEachFolder(file, file.RootFolderNid(), seen, [&](const pst::Folder& folder) {
        auto contents = folder.ContentsTable();
        for (size_t i = 0; contents && i < contents->RowCount(); ++i) {
            pst::TableRow row = contents->ReadRow(i, &columns);
            checksum += file.EntryIdOf(row.rowId)[20];
            if (const auto* k = row.Find(pst::Tag::SearchKey)) {
                checksum += k->Raw().size();
            }
            ++rows;
        }
    });
    return checksum != 0 ? rows : 0;
}

struct FirstItem {};

// Collects the folders, counts the identifiers asked about, and stops the walk at the first item.
class StopAtFirstItem : public IItemHandler {
  public:
    bool OnEnterFolder(Folder& folder, Folder&) override {
        folders.push_back(folder);
        return true;
    }
    void OnLeaveFolder(Folder&) override {}
    bool ShouldImport(const std::string&) override {
        ++asked;
        return true;
    }
    void OnNewMessage(Message&, Folder&) override { throw FirstItem{}; }
    void OnNewContact(Message&, Folder&) override { throw FirstItem{}; }
    void OnNewAppointmentOrTask(Message&, Folder&) override { throw FirstItem{}; }
    void OnNewMeetingMessage(Message&, Folder&) override { throw FirstItem{}; }

    std::vector<Folder> folders;
    size_t asked = 0;
};

size_t ScanToFirstItem(const std::string& profile, bool foldersOnly) {
    Session session;
    session.Logon(profile);
    Store store;
    session.OpenDefaultStore(store);
    StopAtFirstItem handler;
    MailboxScanner walk(true);
    ScanFolders(store, walk, *session.Get(), handler);
    if (foldersOnly) {
        return handler.folders.size();
    }
    MailboxScanner scanner;
    try {
        scanner.Scan(*session.Get(), store, handler, handler.folders);
    } catch (const FirstItem&) {
    }
    return handler.asked;
}

}  // namespace

int main(int argc, char** argv) {
    std::string file;
    pstgen::SyntheticOptions options;
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--file" && i + 1 < argc) {
            file = argv[++i];
        } else if (arg == "--messages" && i + 1 < argc) {
            options.messages = std::stoi(argv[++i]);
        } else if (arg == "--size" && i + 1 < argc) {
            options.targetBytes = std::stoull(argv[++i]);
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::stoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: scan_bench [--file PST] [--messages N] [--size BYTES] [--runs N]\n");
            return 2;
        }
    }
    fs::path work = fs::temp_directory_path() / ("scan_bench." + std::to_string(getpid()));
    fs::create_directories(work);
    // Profiles of the benchmark stay out of the user's settings.
    setenv("TVKIMPORT_REGISTRY", (work / "registry.ini").c_str(), 1);
    if (file.empty()) {
        file = (work / "synthetic.pst").string();
        std::printf("generating %d messages, about %.0f MiB ...\n", options.messages,
                    options.targetBytes / 1048576.0);
        pstgen::WriteSyntheticMailbox(file, options);
    }
    std::printf("file: %s (%.1f MiB)\n", file.c_str(), fs::file_size(file) / 1048576.0);

    MAPIInitialize(MAPI_MULTITHREAD_NOTIFICATIONS);
    ImportParams& job = GetImportParams();
    if (!CreateTemporaryProfile(file, true)) {
        std::fprintf(stderr, "cannot make a profile\n");
        return 1;
    }
    job.profileName = job.tempProfileName;

    size_t rows = Enumerate(file);  // warms the page cache
    size_t asked = 0;
    double enumerate = 1e9;
    double scan = 1e9;
    double open = 1e9;
    size_t folders = 0;
    for (int run = 0; run < runs; ++run) {
        enumerate = std::min(enumerate, Seconds([&] { rows = Enumerate(file); }));
        open = std::min(open, Seconds([&] { folders = ScanToFirstItem(job.profileName, true); }));
        scan = std::min(scan, Seconds([&] { asked = ScanToFirstItem(job.profileName, false); }));
    }
    std::printf("\n  %-34s %8.3f s  (%zu rows)\n", "enumerate (PST library)", enumerate, rows);
    std::printf("  %-34s %8.3f s  (%zu folders)\n", "logon, store, folder walk", open, folders);
    std::printf("  %-34s %8.3f s  (%zu items asked about)\n", "scan to the first handler call", scan, asked);
    std::printf("\n  scan / enumerate: %.2f (target <= 2)\n", scan / enumerate);
    DeleteTemporaryProfile();
    MAPIUninitialize();
    fs::remove_all(work);
    return rows > 0 && asked == rows ? 0 : 1;
}
