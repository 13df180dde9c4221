// pstdump over the real-world corpus: every readable file is listed without a problem and with the
// item counts of its folders; the broken ones end with status 1 and a message naming the file.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/TestSupport.h"

namespace {

size_t CountItems(const nlohmann::json& folder) {
    size_t items = folder.value("items", 0);
    for (const auto& child : folder.value("folders", nlohmann::json::array())) {
        items += CountItems(child);
    }
    return items;
}

TEST(PstdumpCorpus, ReadsEveryReadableFileAndRefusesTheBrokenOnes) {
    TVK_REQUIRE_CORPUS();
    // Items of all folders together (contents tables; embedded messages not counted).
    const std::map<std::string, size_t> readable = {{"02-tika-testPST.pst", 7},
                                                    {"03-tika-testPST_variousBodyTypes.pst", 4},
                                                    {"04-rubymsg-attachAndInline.pst", 1},
                                                    {"05-rubymsg-msgInMsg.pst", 1},
                                                    {"06-rubymsg-200-recipients.pst", 1},
                                                    {"07-pstsdk-submessage.pst", 1},
                                                    {"08-pstsdk-sample2-ansi.pst", 1},
                                                    {"09-tghanem-user1-testlab.pst", 6},
                                                    {"10-gopst-32bit-enron-ansi.pst", 1},
                                                    {"13-aspose-contacts72.pst", 72},
                                                    {"14-javalibpst-dist-list.pst", 4},
                                                    {"15-javalibpst-passworded.pst", 3},
                                                    {"17-aspose-SampleOstFile.ost", 92},
                                                    {"18-aspose-Test_part1.pst", 61},
                                                    {"24-aspose-passwordprotected-chinese.pst", 18}};
    for (const auto& [name, items] : readable) {
        auto run =
            TestSupport::RunCommand({PSTDUMP_PATH, "--json", (*TestSupport::CorpusDir() / name).string()});
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.err;
        auto dump = nlohmann::json::parse(run.out);
        EXPECT_EQ(dump["problems"], 0) << name;
        EXPECT_EQ(CountItems(dump["root"]), items) << name;
    }
    for (const char* name : {"27-corrupt-index-backpointer.pst", "28-corrupt-header-crc.pst",
                             "29-truncated-in-header.bin", "30-not-a-pst-mbox.pst"}) {
        const std::string path = (*TestSupport::CorpusDir() / name).string();
        auto run = TestSupport::RunCommand({PSTDUMP_PATH, path});
        EXPECT_EQ(run.exitCode, 1) << name;
        EXPECT_EQ(run.err.rfind("pstdump: " + path + ": ", 0), 0u) << run.err;
    }
}

}  // namespace
