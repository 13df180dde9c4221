// Mail conversion speed on a large mailbox, side by side with readpst.
//
//   build/release/bench/mapi/mail_bench [--file MAILBOX.pst] [--messages N] [--size BYTES]
//                                       [--out DIR] [--skip-readpst]
//
// Without --file it generates a synthetic mailbox (50,000 messages, about 1 GiB) in a temporary
// directory. Each run is a child process and writes one file per item, as an import stages each
// message for upload:
//   readpst -e   every item to its own .eml file, attachments included
//   import path  the mailbox scanner over a temporary MAPI profile hands every mail item to a
//                handler that converts it to MIME (headers, bodies, attachments, embedded
//                messages) and writes that MIME to its own .eml file: what an import does
//                before uploading
//   from file    the same conversion of messages read straight from the PST file
// It prints the items per second and the ratios. With --out the converted messages of the import
// path are kept in DIR. Nothing is asserted.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/support/ChildMeasurement.h"
#include "mapi/IItemHandler.h"
#include "mapi/MailConverter.h"
#include "mapi/MailboxScanner.h"
#include "mapi/PstMailItem.h"
#include "mapi/PstMessageWalk.h"
#include "mapi/Session.h"
#include "mapi/Store.h"
#include "mapi/TemporaryProfile.h"
#include "mime/Message.h"
#include "runtime/ImportParams.h"
#include "tools/SyntheticMailbox.h"

namespace {

namespace fs = std::filesystem;

using BenchSupport::Command;
using BenchSupport::InChild;
using BenchSupport::Measurement;

size_t CountFiles(const fs::path& dir, const std::string& extension) {
    size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        count += entry.path().extension() == extension ? 1 : 0;
    }
    return count;
}

// Converts what the scanner hands over, as the message adder does before it uploads.
class ConvertingHandler : public Tarvik::MAPI::IItemHandler {
  public:
    explicit ConvertingHandler(fs::path out) : out_(std::move(out)) {}
    std::vector<Tarvik::MAPI::Folder> folders;

    bool OnEnterFolder(Tarvik::MAPI::Folder& folder, Tarvik::MAPI::Folder&) override {
        folders.push_back(folder);
        return true;
    }
    void OnLeaveFolder(Tarvik::MAPI::Folder&) override {}
    void OnNewMessage(Tarvik::MAPI::Message& message, Tarvik::MAPI::Folder&) override {
        std::ofstream eml(out_ / (std::to_string(++count_) + ".eml"), std::ios::binary);
        Tarvik::MAPI::WriteMime(*Tarvik::MAPI::ConvertMailToMime(message), eml);
    }
    void OnNewContact(Tarvik::MAPI::Message&, Tarvik::MAPI::Folder&) override {}
    void OnNewAppointmentOrTask(Tarvik::MAPI::Message&, Tarvik::MAPI::Folder&) override {}
    void OnNewMeetingMessage(Tarvik::MAPI::Message& message, Tarvik::MAPI::Folder& folder) override {
        OnNewMessage(message, folder);
    }

  private:
    fs::path out_;
    size_t count_ = 0;
};

int ConvertThroughMapi(const std::string& path, const fs::path& out) {
    ImportParams& params = GetImportParams();
    params.commandLineMode = true;
    params.importContacts = params.importCalendar = params.importTasks = false;
    params.errorThreshold = 0;
    setenv("TVKIMPORT_REGISTRY", (out / "registry.ini").c_str(), 1);
    MAPIInitialize(0);
    if (!Tarvik::MAPI::CreateTemporaryProfile(path, true)) {
        return 1;
    }
    params.profileName = params.tempProfileName;
    {
        Tarvik::MAPI::Session session;
        session.Logon(params.profileName);
        Tarvik::MAPI::Store store;
        session.OpenDefaultStore(store);
        ConvertingHandler handler(out);
        Tarvik::MAPI::MailboxScanner folderWalk(true);
        Tarvik::MAPI::ScanFolders(store, folderWalk, *session.Get(), handler);
        Tarvik::MAPI::MailboxScanner scanner;
        scanner.Scan(*session.Get(), store, handler, handler.folders);
    }
    Tarvik::MAPI::DeleteTemporaryProfile();
    MAPIUninitialize();
    fs::remove(out / "registry.ini");
    return 0;
}

int ConvertFromFile(const std::string& path, const fs::path& out) {
    GetImportParams().commandLineMode = true;
    pst::PstFile file(path);
    size_t failures = 0;
    Tarvik::MAPI::WalkPstMessages(
        file,
        [&](const Tarvik::MAPI::WalkedMessage& walked) {
            if (!walked.IsMail()) {
                return;
            }
            try {
                Tarvik::MAPI::PstMailItem item(walked.message, walked.unicodeStore);
                std::ofstream eml(out / (std::to_string(walked.nid) + ".eml"), std::ios::binary);
                Tarvik::MAPI::WriteMime(*Tarvik::MAPI::ConvertMailToMime(item), eml);
            } catch (const std::exception& error) {
                std::fprintf(stderr, "%s %u: %s\n", walked.folderPath.c_str(), walked.nid, error.what());
                ++failures;
            }
        },
        [&](const std::string& folder, uint32_t nid, const std::string& error) {
            std::fprintf(stderr, "%s %u: %s\n", folder.c_str(), nid, error.c_str());
            ++failures;
        });
    return failures == 0 ? 0 : 1;
}

void Print(const char* name, const Measurement& m, size_t items) {
    std::printf("  %-11s %7zu items %9.2f s %9.0f items/s %8.1f MiB%s\n", name, items, m.seconds,
                items / m.seconds, m.peakMiB, m.ok ? "" : "   (failed)");
}

}  // namespace

int main(int argc, char** argv) {
    std::string file;
    std::string keep;
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
        } else if (arg == "--out" && i + 1 < argc) {
            keep = argv[++i];
        } else if (arg == "--skip-readpst") {
            readpst = false;
        } else {
            std::fprintf(stderr,
                         "usage: mail_bench [--file PST] [--messages N] [--size BYTES] [--out DIR] "
                         "[--skip-readpst]\n");
            return 2;
        }
    }
    fs::path work = fs::temp_directory_path() / ("mail_bench." + std::to_string(getpid()));
    fs::create_directories(work);
    if (file.empty()) {
        file = (work / "synthetic.pst").string();
        std::printf("generating %d messages, about %.0f MiB ...\n", options.messages,
                    options.targetBytes / 1048576.0);
        Measurement written = InChild([&] {
            pstgen::WriteSyntheticMailbox(file, options);
            return 0;
        });
        std::printf("  written in %.1f s\n", written.seconds);
    }
    std::printf("file: %s (%.1f MiB)\n\n", file.c_str(), fs::file_size(file) / 1048576.0);

    fs::path ours = keep.empty() ? work / "converted" : fs::path(keep);
    fs::path direct = work / "from-file";
    fs::create_directories(ours);
    fs::create_directories(direct);
    Measurement extract;
    size_t extracted = 0;
    if (readpst) {
        fs::create_directories(work / "readpst");
        extract = Command({"readpst", "-e", "-q", "-o", (work / "readpst").string(), file});
        extracted = CountFiles(work / "readpst", ".eml");
        fs::remove_all(work / "readpst");  // its files would compete for the page cache
    }
    Measurement convert = InChild([&] { return ConvertThroughMapi(file, ours); });
    size_t converted = CountFiles(ours, ".eml");
    Measurement fromFile = InChild([&] { return ConvertFromFile(file, direct); });
    size_t convertedFromFile = CountFiles(direct, ".eml");
    fs::remove_all(direct);

    std::printf("\n");
    if (readpst) {
        Print("readpst -e", extract, extracted);
    }
    Print("import path", convert, converted);
    Print("from file", fromFile, convertedFromFile);
    if (readpst) {
        std::printf("\n  import path vs readpst -e: %.1fx the items per second (target >= 3)\n",
                    (converted / convert.seconds) / (extracted / extract.seconds));
        std::printf("  from file vs readpst -e:   %.1fx the items per second\n",
                    (convertedFromFile / fromFile.seconds) / (extracted / extract.seconds));
    }
    if (keep.empty()) {
        fs::remove_all(work);
    } else {
        fs::remove_all(work / "synthetic.pst");
    }
    return convert.ok && fromFile.ok ? 0 : 1;
}
