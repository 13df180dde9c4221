#include <gtest/gtest.h>

#include "runtime/Utf8.h"

namespace {

TEST(Utf8, Utf16RoundTripsIncludingSurrogatePairs) {
    std::string text = "Jörn テスト 😀";
    EXPECT_EQ(Utf8::FromUtf16(Utf8::ToUtf16(text)), text);
    EXPECT_EQ(Utf8::FromUtf16LE(Utf8::ToUtf16LE(text)), text);
    EXPECT_EQ(Utf8::ToUtf16("😀").size(), 2u);
}

TEST(Utf8, BrokenInputBecomesReplacementCharacters) {
    EXPECT_EQ(Utf8::FromUtf16(u"a\xD800" "b"), "a\xEF\xBF\xBD" "b");  // unpaired surrogate
    EXPECT_EQ(Utf8::FromUtf16LE(std::string("a\0b", 3)), "a");          // odd last byte ignored
    EXPECT_FALSE(Utf8::IsValid("\xC3"));
    EXPECT_FALSE(Utf8::IsValid("\xC0\xAF"));  // overlong
    EXPECT_FALSE(Utf8::IsValid("\xED\xA0\x80"));  // encoded surrogate
    EXPECT_TRUE(Utf8::IsValid("\xEF\xBF\xBD"));
}

TEST(Utf8, TruncationNeverCutsInsideASequence) {
    std::string text = "aéb";
    Utf8::TruncateToBytes(text, 2);
    EXPECT_EQ(text, "a");
    text = "aéb";
    Utf8::TruncateToCodePoints(text, 2);
    EXPECT_EQ(text, "aé");
    text = "ab";
    Utf8::TruncateToCodePoints(text, 5);
    EXPECT_EQ(text, "ab");
}

}  // namespace
