// Golden conversions: each golden/<case>.json describes one message (in pstgen's format); it is
// written to a PST file, opened through the MAPI layer as an import opens it, converted, and the
// MIME text must equal golden/<case>.eml. The same message read straight from the file
// (PstMailItem, what tools and benchmarks use) must convert to the same text.
// Generated boundaries are replaced by BOUNDARY-1, BOUNDARY-2, ... in order of appearance.
// TVK_UPDATE_GOLDEN=1 rewrites the .eml files (review the difference before committing it).

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <regex>

#include <nlohmann/json.hpp>

#include "mapi/FolderIterator.h"
#include "mapi/MailConverter.h"
#include "mapi/Message.h"
#include "mapi/MessageIterator.h"
#include "mapi/PstMailItem.h"
#include "mapi/PstMessageWalk.h"
#include "mapi/Session.h"
#include "mapi/Store.h"
#include "mapi/TemporaryProfile.h"
#include "mime/Message.h"
#include "runtime/ImportParams.h"
#include "tests/support/TestSupport.h"
#include "tools/Description.h"

namespace fs = std::filesystem;
using namespace Tarvik::MAPI;

namespace {

fs::path GoldenDir() {
    return TestSupport::SourceDir() / "tests/mapi/conversion/golden";
}

std::vector<std::string> CaseNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(GoldenDir())) {
        if (entry.path().extension() == ".json") {
            names.push_back(entry.path().stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string NormaliseBoundaries(const std::string& text) {
    static const std::regex boundary("------------Boundary-[0-9]{2}=_[0-9A-Za-z$%]{20}");
    std::map<std::string, std::string> names;
    std::string out;
    auto begin = std::sregex_iterator(text.begin(), text.end(), boundary);
    size_t last = 0;
    for (auto it = begin; it != std::sregex_iterator(); ++it) {
        auto [name, added] = names.try_emplace(it->str(), "BOUNDARY-" + std::to_string(names.size() + 1));
        out.append(text, last, it->position() - last);
        out += name->second;
        last = it->position() + it->length();
    }
    out.append(text, last);
    return out;
}

// The conversions of the mail items of a PST file opened through a temporary MAPI profile.
std::vector<std::string> ConvertThroughMapi(const std::string& pstPath) {
    std::vector<std::string> converted;
    MAPIInitialize(0);
    EXPECT_TRUE(CreateTemporaryProfile(pstPath, true));
    GetImportParams().profileName = GetImportParams().tempProfileName;
    {
        Session session;
        session.Logon(GetImportParams().profileName);
        Store store;
        session.OpenDefaultStore(store);
        Folder root;
        store.OpenRootFolder(root);
        std::function<void(const Folder&)> walk = [&](const Folder& folder) {
            MessageIterator messages;
            folder.GetMessageIterator(messages);
            for (Message message(session.Get()); messages.GetNext(message);) {
                converted.push_back(ConvertMailToMime(message)->AsString().Str());
            }
            FolderIterator folders;
            folder.GetFolderIterator(folders);
            for (Folder child; folders.GetNext(child);) {
                walk(child);
            }
        };
        walk(root);
    }
    DeleteTemporaryProfile();
    MAPIUninitialize();
    return converted;
}

// The conversions of the mail items of a PST file read straight from the file.
std::vector<std::string> ConvertFromFile(const std::string& pstPath) {
    std::vector<std::string> converted;
    pst::PstFile file(pstPath);
    WalkPstMessages(
        file,
        [&](const WalkedMessage& walked) {
            PstMailItem item(walked.message, walked.unicodeStore);
            converted.push_back(ConvertMailToMime(item)->AsString().Str());
        },
        [](const std::string& folder, uint32_t nid, const std::string& error) {
            ADD_FAILURE() << folder << " " << nid << ": " << error;
        });
    return converted;
}

class ConversionTest : public testing::Test {
  protected:
    void SetUp() override {
        // No directory: Exchange addresses fail at once instead of asking.
        GetImportParams().commandLineMode = true;
        GetImportParams().adServer.clear();
        setenv("TVKIMPORT_REGISTRY", (dir_ / "registry.ini").c_str(), 1);
    }
    void TearDown() override { unsetenv("TVKIMPORT_REGISTRY"); }

    // Writes the description of one Inbox message to a PST file and gives its path.
    std::string WritePst(const nlohmann::json& message) {
        nlohmann::json description = {{"folders", {{{"name", "Inbox"}, {"messages", {message}}}}}};
        std::string pst = (dir_ / "case.pst").string();
        pstgen::WriteDescription(description, GoldenDir(), pst);
        return pst;
    }

    TestSupport::TempDir dir_;
};

class GoldenConversion : public ConversionTest, public testing::WithParamInterface<std::string> {};

}  // namespace

TEST_P(GoldenConversion, MatchesTheExpectedMime) {
    fs::path json = GoldenDir() / (GetParam() + ".json");
    fs::path eml = GoldenDir() / (GetParam() + ".eml");
    std::string pst = WritePst(nlohmann::json::parse(TestSupport::ReadFile(json)));
    std::vector<std::string> throughMapi = ConvertThroughMapi(pst);
    ASSERT_EQ(throughMapi.size(), 1u);
    std::string converted = NormaliseBoundaries(throughMapi[0]);
    std::vector<std::string> fromFile = ConvertFromFile(pst);
    ASSERT_EQ(fromFile.size(), 1u);
    EXPECT_EQ(NormaliseBoundaries(fromFile[0]), converted);
    if (std::getenv("TVK_UPDATE_GOLDEN") != nullptr) {
        TestSupport::WriteFile(eml, converted);
    }
    ASSERT_TRUE(fs::exists(eml)) << eml << " is missing (TVK_UPDATE_GOLDEN=1 writes it)";
    EXPECT_EQ(converted, TestSupport::ReadFile(eml));
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenConversion, testing::ValuesIn(CaseNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// Bodies too large for GetProps come through their streams, whole.
TEST_F(ConversionTest, ThreeMegabyteTextBodyKeepsItsFullLength) {
    std::string line = std::string(58, 'x') + "\r\n";
    std::string body;
    while (body.size() < (3u << 20)) {
        body += line;
    }
    std::vector<std::string> converted = ConvertThroughMapi(WritePst({{"subject", "Large"}, {"body", body}}));
    ASSERT_EQ(converted.size(), 1u);
    EXPECT_TRUE(converted[0].ends_with("\r\n\r\n" + body)) << converted[0].substr(0, 400);
}
