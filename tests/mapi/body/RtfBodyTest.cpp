#include "mapi/RtfBody.h"

#include <gtest/gtest.h>

#include "mapi/CompressedRtf.h"
#include "tests/support/TestSupport.h"

using namespace Tarvik::MAPI;
namespace fs = std::filesystem;

namespace {

fs::path GoldenDir() {
    return TestSupport::SourceDir() / "tests/mapi/body/golden";
}

}  // namespace

// Every golden/<name>.rtf unwraps to golden/<name>.html, byte for byte.
TEST(UnwrapHtmlFromRtf, MatchesTheGoldenFiles) {
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(GoldenDir())) {
        if (entry.path().extension() != ".rtf") {
            continue;
        }
        fs::path expected = fs::path(entry.path()).replace_extension(".html");
        std::optional<std::string> html = UnwrapHtmlFromRtf(TestSupport::ReadFile(entry.path()));
        ASSERT_TRUE(html.has_value()) << entry.path();
        EXPECT_EQ(*html, TestSupport::ReadFile(expected)) << entry.path().filename();
        ++compared;
    }
    EXPECT_GT(compared, 0) << "no golden files in " << GoldenDir();
}

TEST(UnwrapHtmlFromRtf, GivesNothingForRtfThatWrapsNoHtml) {
    EXPECT_FALSE(UnwrapHtmlFromRtf("{\\rtf1\\ansi\\fromtext \\deff0 Hello\\par}"));
    EXPECT_FALSE(UnwrapHtmlFromRtf("{\\rtf1\\ansi\\deff0 {\\*\\htmltag19 <html>}}"));
    EXPECT_FALSE(UnwrapHtmlFromRtf(""));
    // Wrapped HTML without any tag group is empty, not missing.
    EXPECT_EQ(UnwrapHtmlFromRtf("{\\rtf1\\ansi\\fromhtml1 text without tags}"), "");
}

TEST(UnwrapHtmlFromRtf, SurvivesBrokenRtf) {
    for (const char* rtf :
         {"{\\rtf1\\fromhtml1 {\\*\\htmltag1 <a>}}}}}}\\'", "{\\rtf1\\fromhtml1 {\\*\\htmltag1 \\'e",
          "{\\rtf1\\fromhtml1 {\\*\\htmltag1 \\u-10179}x", "{\\rtf1\\fromhtml1 \\bin999999 {"}) {
        EXPECT_NO_THROW(UnwrapHtmlFromRtf(rtf)) << rtf;
    }
    std::string deep = "{\\rtf1\\fromhtml1 {\\*\\htmltag1 <b>}" + std::string(100000, '{') + "x" +
                       std::string(100000, '}') + "{\\*\\htmltag1 </b>}}";
    EXPECT_EQ(UnwrapHtmlFromRtf(deep), "<b>x</b>");
}

TEST(NativeBodyTypeOfRtf, ReadsTheHeader) {
    EXPECT_EQ(NativeBodyTypeOfRtf("{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0"), NativeBody::Html);
    EXPECT_EQ(NativeBodyTypeOfRtf("{\\rtf1\\ansi\\ansicpg1252\\fromtext \\deff0"), NativeBody::PlainText);
    EXPECT_EQ(NativeBodyTypeOfRtf("{\\rtf1\\ansi\\deff0 Hello \\par}"), NativeBody::Rtf);
    EXPECT_EQ(NativeBodyTypeOfRtf("{\\rtf1 \\\\fromhtml is text here}"), NativeBody::Rtf);
}

TEST(HtmlFromCompressedRtf, DecompressesAndUnwraps) {
    std::string rtf = "{\\rtf1\\ansi\\fromhtml1 {\\*\\htmltag19 <html>}Gr\\'fc\\'dfe}";
    std::string stored(16, '\0');
    stored[0] = static_cast<char>(rtf.size() + 12);
    stored[4] = static_cast<char>(rtf.size());
    stored.replace(8, 4, "MELA");
    EXPECT_EQ(HtmlFromCompressedRtf(stored + rtf), "<html>Grüße");
    EXPECT_THROW(HtmlFromCompressedRtf(stored.substr(0, 10)), CompressedRtfError);
}
