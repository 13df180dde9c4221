// Every mail item of the shared corpus converts without an exception, Python's email package reads
// the MIME it yields without defects of our making, and the subjects, senders and attachment names
// agree with what readpst extracts from the same files, apart from readpst's own gaps
// (corpus_agreement.py lists them; the explained differences are printed).

#include <gtest/gtest.h>

#include <fstream>

#include <nlohmann/json.hpp>

#include "mapi/MailConverter.h"
#include "mapi/PstMailItem.h"
#include "mapi/PstMessageWalk.h"
#include "mime/Message.h"
#include "pst/Error.h"
#include "runtime/ImportParams.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using namespace Tarvik::MAPI;

namespace {

struct Converted {
    size_t items = 0;
    std::vector<std::string> failures;
};

// Converts every mail item of `pst` into out/<n>.eml.
Converted ConvertFile(const fs::path& pst, const fs::path& out) {
    Converted result;
    pst::PstFile file(pst.string());
    fs::create_directories(out);
    WalkPstMessages(
        file,
        [&](const WalkedMessage& walked) {
            if (!walked.IsMail()) {
                return;
            }
            try {
                PstMailItem item(walked.message, walked.unicodeStore);
                std::ofstream eml(out / (std::to_string(walked.nid) + ".eml"), std::ios::binary);
                WriteMime(*ConvertMailToMime(item), eml);
                ++result.items;
            } catch (const std::exception& error) {
                result.failures.push_back(walked.folderPath + " " + std::to_string(walked.nid) + ": " +
                                          error.what());
            }
        },
        [&](const std::string& path, uint32_t nid, const std::string& error) {
            result.failures.push_back(path + " " + std::to_string(nid) + ": " + error);
        });
    return result;
}

// corpus_agreement.py over every <name>-ours / <name>-readpst pair below `root`.
nlohmann::json Agreement(const fs::path& root) {
    fs::path script = TestSupport::SourceDir() / "tests/mapi/conversion/corpus_agreement.py";
    TestSupport::CommandResult run = TestSupport::RunCommand({"python3", script.string(), root.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return run.exitCode == 0 ? nlohmann::json::parse(run.out) : nlohmann::json::object();
}

std::vector<fs::path> CorpusFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(*TestSupport::CorpusDir())) {
        std::string extension = entry.path().extension().string();
        if (extension == ".pst" || extension == ".ost") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool Opens(const fs::path& path) {
    try {
        pst::PstFile file(path.string());
        return true;
    } catch (const pst::Error&) {
        return false;
    }
}

}  // namespace

TEST(MailCorpus, ConvertsEveryMailItemAndAgreesWithReadpst) {
    TVK_REQUIRE_CORPUS();
    GetImportParams().commandLineMode = true;  // no directory: Exchange addresses stay empty
    TestSupport::TempDir dir;
    size_t total = 0;
    for (const fs::path& pst : CorpusFiles()) {
        if (!Opens(pst)) {
            continue;  // the damaged and foreign files of the corpus are the reader's tests
        }
        Converted converted = ConvertFile(pst, dir / (pst.stem().string() + "-ours"));
        EXPECT_TRUE(converted.failures.empty())
            << pst.filename() << testing::PrintToString(converted.failures);
        total += converted.items;
        fs::path theirs = dir / (pst.stem().string() + "-readpst");
        fs::create_directories(theirs);
        TestSupport::RunCommand({"readpst", "-e", "-q", "-o", theirs.string(), pst.string()});
    }
    EXPECT_GT(total, 100u);
    const nlohmann::json agreement = Agreement(dir.Path());
    for (auto it = agreement.begin(); it != agreement.end(); ++it) {
        EXPECT_EQ(it.value().at("defects"), nlohmann::json::array()) << it.key();
        EXPECT_EQ(it.value().at("unexplained"), nlohmann::json::array()) << it.key();
        for (const nlohmann::json& difference : it.value().at("explained")) {
            std::cout << it.key() << ": " << difference.get<std::string>() << "\n";
        }
    }
}
