// Reader speed and memory on a large mailbox, side by side with the tools users know.
//
//   build/release/bench/pst/pst_bench [--file MAILBOX.pst] [--messages N] [--size BYTES] [--skip-readpst]
//
// Without --file it generates a synthetic mailbox (50,000 messages, about 1 GiB) in a temporary
// directory. Every measurement runs in a child process so that each peak memory is its own:
//   cat          reading the file once (second run, warm cache)
//   lspst        listing every item
//   readpst -e   extracting every item and attachment to files
//   enumerate    our reader: every folder, and per message the three contents-table columns a
//                scan needs (entry id, submit time, search key)
//   read all     our reader: every property, recipient and attachment (data streamed), embedded
//                messages included
// It prints the times, the peak resident memory and the ratios. Nothing is asserted.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "bench/support/ChildMeasurement.h"
#include "pst/PropTags.h"
#include "pst/PstFile.h"
#include "tools/SyntheticMailbox.h"

namespace {

namespace fs = std::filesystem;

using BenchSupport::Command;
using BenchSupport::InChild;
using BenchSupport::Measurement;

// Every folder reachable from the root, depth first.
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

int Enumerate(const std::string& path, size_t& rows) {
    pst::PstFile file(path);
    const std::vector<uint32_t> columns = {pst::Tag::ClientSubmitTime, pst::Tag::SearchKey};
    uint64_t checksum = 0;
    std::set<uint32_t> seen;
    ForEachFolder(file, file.RootFolderNid(), seen, [&](const pst::Folder& folder) {
        auto contents = folder.ContentsTable();
        for (size_t i = 0; contents && i < contents->RowCount(); ++i) {
            pst::TableRow row = contents->ReadRow(i, &columns);
            pst::Bytes entryId = file.EntryIdOf(row.rowId);
            checksum += entryId[20];
            if (const auto* t = row.Find(pst::Tag::ClientSubmitTime)) {
                checksum += static_cast<uint64_t>(t->AsInt64());
            }
            if (const auto* k = row.Find(pst::Tag::SearchKey)) {
                checksum += k->Raw().size();
            }
            ++rows;
        }
    });
    return checksum == 0 && rows > 0 ? 1 : 0;
}

void ReadProperties(const pst::PropertyContext& pc, uint64_t& bytes) {
    uint8_t buffer[65536];
    for (const auto& entry : pc.Entries()) {
        if (pc.Size(entry) > (1 << 20)) {
            auto stream = pc.OpenStream(entry);
            while (size_t n = stream->Read(buffer, sizeof buffer)) {
                bytes += n;
            }
        } else {
            bytes += pc.Decode(entry, 1 << 20).Raw().size();
        }
    }
}

void ReadMessage(const pst::Message& m, uint64_t& bytes, int depth) {
    ReadProperties(m.Properties(), bytes);
    if (auto r = m.RecipientTable()) {
        for (size_t i = 0; i < r->RowCount(); ++i) {
            bytes += r->ReadRow(i).values.size();
        }
    }
    auto attachments = m.AttachmentTable();
    for (size_t i = 0; attachments && i < attachments->RowCount(); ++i) {
        pst::Attachment a = m.OpenAttachment(attachments->RowId(i));
        ReadProperties(a.Properties(), bytes);
        if (a.HasEmbeddedMessage() && depth < 8) {
            ReadMessage(a.OpenEmbeddedMessage(), bytes, depth + 1);
        }
    }
}

int ReadAll(const std::string& path) {
    pst::PstFile file(path);
    uint64_t bytes = 0;
    std::set<uint32_t> seen;
    ForEachFolder(file, file.RootFolderNid(), seen, [&](const pst::Folder& folder) {
        ReadProperties(folder.Properties(), bytes);
        auto contents = folder.ContentsTable();
        for (size_t i = 0; contents && i < contents->RowCount(); ++i) {
            ReadMessage(file.OpenMessage(contents->RowId(i)), bytes, 0);
        }
    });
    return bytes > 0 ? 0 : 1;
}

void Print(const char* name, const Measurement& m) {
    std::printf("  %-12s %9.2f s %9.1f MiB%s\n", name, m.seconds, m.peakMiB, m.ok ? "" : "   (failed)");
}

}  // namespace

int main(int argc, char** argv) {
    std::string file;
    pstgen::SyntheticOptions options;
    bool readpst = true;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--file" && i + 1 < argc) {
            file = argv[++i];
        } else if (arg == "--messages" && i + 1 < argc) {
            options.messages = std::stoi(argv[++i]);
        } else if (arg == "--size" && i + 1 < argc) {
            options.targetBytes = std::stoull(argv[++i]);
        } else if (arg == "--skip-readpst") {
            readpst = false;
        } else {
            std::fprintf(stderr,
                         "usage: pst_bench [--file PST] [--messages N] [--size BYTES] [--skip-readpst]\n");
            return 2;
        }
    }
    fs::path work = fs::temp_directory_path() / ("pst_bench." + std::to_string(getpid()));
    fs::create_directories(work);
    if (file.empty()) {
        file = (work / "synthetic.pst").string();
        std::printf("generating %d messages, about %.0f MiB ...\n", options.messages,
                    options.targetBytes / 1048576.0);
        // In a child, so that the writer's memory does not count in the readers' peaks.
        Measurement written = InChild([&] {
            pstgen::WriteSyntheticMailbox(file, options);
            return 0;
        });
        std::printf("  written in %.1f s\n", written.seconds);
    }
    std::printf("file: %s (%.1f MiB)\n", file.c_str(), fs::file_size(file) / 1048576.0);

    Command({"cat", file});  // warms the page cache
    Measurement cat = Command({"cat", file});
    Measurement lspst = Command({"lspst", file});
    size_t rows = 0;
    Measurement enumerate = InChild([&] { return Enumerate(file, rows); });
    Measurement readAll = InChild([&] { return ReadAll(file); });
    Measurement extract;
    if (readpst) {
        fs::create_directories(work / "readpst");
        extract = Command({"readpst", "-e", "-q", "-o", (work / "readpst").string(), file});
    }
    std::printf("\n  %-12s %11s %13s\n", "", "time", "peak memory");
    Print("cat", cat);
    Print("lspst", lspst);
    if (readpst) {
        Print("readpst -e", extract);
    }
    Print("enumerate", enumerate);
    Print("read all", readAll);
    std::printf("\n  enumerate vs cat:        %6.1fx faster (target > 1)\n", cat.seconds / enumerate.seconds);
    std::printf("  enumerate vs lspst:      %6.1fx faster (target >= 10)\n",
                lspst.seconds / enumerate.seconds);
    if (readpst) {
        std::printf("  read all vs readpst -e:  %6.1fx faster (target >= 3)\n",
                    extract.seconds / readAll.seconds);
    }
    std::printf("  peak memory of our reader: %.1f MiB (target < 64)\n",
                std::max(enumerate.peakMiB, readAll.peakMiB));
    fs::remove_all(work);
    return enumerate.ok && readAll.ok ? 0 : 1;
}
