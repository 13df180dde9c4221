#include "import/FolderName.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct CleaningCase {
    const char* source;
    const char* cleaned;
    bool changed;
};

void PrintTo(const CleaningCase& c, std::ostream* out) {
    *out << '"' << c.source << '"';
}

class CleanFolderNameTest : public ::testing::TestWithParam<CleaningCase> {};

TEST_P(CleanFolderNameTest, Cleans) {
    CleanedFolderName result = CleanFolderName(GetParam().source);
    EXPECT_EQ(result.name, GetParam().cleaned);
    EXPECT_EQ(result.changed, GetParam().changed);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CleanFolderNameTest,
    ::testing::Values(CleaningCase{"Projects", "Projects", false}, CleaningCase{"a/b", "a\\b", true},
                      CleaningCase{"a\\b", "a\\b", false}, CleaningCase{"/lead", "-lead", true},
                      CleaningCase{"\\lead", "-lead", true},
                      CleaningCase{"time: \"now\"", "time| 'now'", true},
                      CleaningCase{"tab\there\n", "tab here", true},
                      CleaningCase{"  padded  ", "padded", true},
                      CleaningCase{"Ünïcødé/名前", "Ünïcødé\\名前", true}, CleaningCase{" \t ", "", true}),
    [](const ::testing::TestParamInfo<CleaningCase>& info) { return "case" + std::to_string(info.index); });

TEST(FolderNameTest, SuffixComesFromEntryIdAfterItsFirst20Bytes) {
    std::string entryId(20, '\x01');
    EXPECT_FALSE(EntryIdSuffix(entryId));
    entryId += std::string("\x00\xab\x12\xff", 4);
    EXPECT_EQ(EntryIdSuffix(entryId), "{00ab12ff}");
}

TEST(FolderNameTest, LongNamesAreCutTo128CharactersKeepingSuffixAndNoTrailingBlank) {
    std::string longName(200, 'x');
    EXPECT_EQ(WithSuffix(longName, ""), std::string(128, 'x'));
    EXPECT_EQ(WithSuffix(longName, "{00ab12ff}"), std::string(118, 'x') + "{00ab12ff}");
    std::string multibyte;
    for (int i = 0; i < 200; ++i) {
        multibyte += "é";
    }
    EXPECT_EQ(WithSuffix(multibyte, "").size(), 256u);  // 128 two-byte characters
    EXPECT_EQ(WithSuffix(std::string(127, 'y') + " z", ""), std::string(127, 'y'));
}

TEST(FolderNameTest, NamesCompareWithoutRegardToCase) {
    EXPECT_TRUE(SameFolderName("Junk E-mail", "junk e-MAIL"));
    EXPECT_TRUE(SameFolderName("ÄRGER", "ärger"));
    EXPECT_FALSE(SameFolderName("Inbox", "Inbox2"));
    EXPECT_EQ(FolderNameKey("WoRk"), FolderNameKey("work"));
}

}  // namespace
