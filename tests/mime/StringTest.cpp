#include <gtest/gtest.h>

#include <sstream>

#include "mime/String.h"

namespace {

using mimepp::String;

TEST(MimeString, CopiesAndSubstringsAreUnaffectedByLaterAppends) {
    String original = "abc";
    String copy = original;
    String tail = original.Substr(1);
    copy += "def";
    original += "XYZ";
    tail += "!";
    EXPECT_EQ(original, "abcXYZ");
    EXPECT_EQ(copy, "abcdef");
    EXPECT_EQ(tail, "bc!");

    String self = "ab";
    self += self;
    self += self;
    EXPECT_EQ(self, "abababab");
}

TEST(MimeString, SlicesJoinToTheSameBytesWhateverTheReadingPath) {
    std::string large(5000, 'L');
    large[0] = '\0';  // NUL is an ordinary byte
    String text = "head:";
    text += String(large);  // long strings are shared as slices, not copied
    text += ":middle:";
    text += String(large);
    text += ":tail";
    std::string expected = "head:" + large + ":middle:" + large + ":tail";

    std::ostringstream written;
    text.WriteTo(written);
    EXPECT_EQ(written.str(), expected);
    EXPECT_EQ(text.Str(), expected);
    EXPECT_EQ(text.size(), expected.size());
    struct Range {
        size_t pos, length;
    };
    for (Range range : {Range{0, 5}, Range{3, 10}, Range{4990, 30}, Range{5004, 9}, Range{5010, 5000},
                        Range{10000, String::npos}, Range{expected.size(), 3}}) {
        EXPECT_EQ(text.Substr(range.pos, range.length).Str(),
                  expected.substr(std::min(range.pos, expected.size()), range.length))
            << range.pos << "+" << range.length;
    }
    EXPECT_EQ(text.View(), expected);
    EXPECT_EQ(text, String(expected));
    EXPECT_FALSE(text == String(expected + "x"));
}

}  // namespace
