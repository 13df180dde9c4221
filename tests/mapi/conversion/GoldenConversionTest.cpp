// Golden conversions: each golden/<case>.json describes one message (in pstgen's format); it is
// written to a PST file, read back, converted, and the MIME text must equal golden/<case>.eml.
// Generated boundaries are replaced by BOUNDARY-1, BOUNDARY-2, ... in order of appearance.
// TVK_UPDATE_GOLDEN=1 rewrites the .eml files (review the difference before committing it).

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>

#include <nlohmann/json.hpp>

#include "mapi/MailConverter.h"
#include "mapi/PstMailItem.h"
#include "mapi/PstMessageWalk.h"
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

// The conversion of the one message that the description puts into the Inbox.
std::string ConvertDescribedMessage(const nlohmann::json& message) {
    TestSupport::TempDir dir;
    nlohmann::json description = {{"folders", {{{"name", "Inbox"}, {"messages", {message}}}}}};
    std::string path = (dir / "case.pst").string();
    pstgen::WriteDescription(description, GoldenDir(), path);
    pst::PstFile file(path);
    std::string converted;
    WalkPstMessages(
        file,
        [&](const WalkedMessage& walked) {
            PstMailItem item(walked.message, true);
            converted = ConvertMailToMime(item)->AsString().Str();
        },
        [](const std::string& folder, uint32_t nid, const std::string& error) {
            ADD_FAILURE() << folder << " " << nid << ": " << error;
        });
    return NormaliseBoundaries(converted);
}

class GoldenConversion : public testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        // No directory: Exchange addresses fail at once instead of asking.
        GetImportParams().commandLineMode = true;
        GetImportParams().adServer.clear();
    }
};

}  // namespace

TEST_P(GoldenConversion, MatchesTheExpectedMime) {
    fs::path json = GoldenDir() / (GetParam() + ".json");
    fs::path eml = GoldenDir() / (GetParam() + ".eml");
    std::string converted = ConvertDescribedMessage(nlohmann::json::parse(TestSupport::ReadFile(json)));
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
