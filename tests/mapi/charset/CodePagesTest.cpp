#include "mapi/CodePages.h"

#include <gtest/gtest.h>

using namespace Tarvik::MAPI;

TEST(CharsetName, NamesCodePagesAsMailDoes) {
    std::pair<uint32_t, const char*> cases[] = {
        {1252, "windows-1252"}, {1251, "windows-1251"},  {65001, "utf-8"},    {932, "shift_jis"},
        {936, "gb2312"},        {949, "ks_c_5601-1987"}, {950, "big5"},       {20866, "koi8-r"},
        {28591, "iso-8859-1"},  {50220, "iso-2022-jp"},  {20127, "us-ascii"}, {4711, "windows-4711"},
    };
    for (auto [codePage, name] : cases) {
        EXPECT_EQ(CharsetName(codePage), name) << codePage;
    }
}

TEST(CodePageFromCharset, FindsTheCodePageOfAName) {
    EXPECT_EQ(CodePageFromCharset("windows-1252"), 1252u);
    EXPECT_EQ(CodePageFromCharset("Windows-1251"), 1251u);
    EXPECT_EQ(CodePageFromCharset("UTF-8"), 65001u);
    EXPECT_EQ(CodePageFromCharset("Shift_JIS"), 932u);
    EXPECT_EQ(CodePageFromCharset("iso-2022-jp"), 50220u);  // the first of the code pages that share it
    EXPECT_EQ(CodePageFromCharset("cp850"), 850u);
    EXPECT_FALSE(CodePageFromCharset("windows-"));
    EXPECT_FALSE(CodePageFromCharset("windows-12x"));
    EXPECT_FALSE(CodePageFromCharset("x-unknown"));
}

// Each code page decodes a characteristic text, which proves that its iconv name is right.
TEST(DecodeToUtf8, DecodesTheCodePagesOfMail) {
    struct Case {
        uint32_t codePage;
        std::string bytes;
        std::string text;
    } cases[] = {
        {1252, "caf\xe9 \x80", "café €"},
        {1250, "\x9a\xe8", "šč"},
        {1251, "\xcf\xf0\xe8", "При"},
        {1253, "\xe1\xe2", "αβ"},
        {1255, "\xf9\xec", "של"},
        {874, "\xa1", "ก"},
        {28592, "\xb9", "š"},
        {20866, "\xf0\xd2\xc9", "При"},
        {437, "\x81", "ü"},
        {10000, "\x8a", "ä"},
        {932, "\x82\xb1\x82\xf1", "こん"},
        {936, "\xc4\xe3\xba\xc3", "你好"},
        {949, "\xbe\xc8", "안"},
        {950, "\xa7\x41", "你"},
        {50220, "\x1b$B$3$s\x1b(B", "こん"},
        {65001, "\xe2\x82\xac", "€"},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(DecodeToUtf8(test.bytes, test.codePage), test.text) << test.codePage;
    }
}

TEST(DecodeToUtf8, ReplacesInvalidBytesAndRefusesUnknownCodePages) {
    EXPECT_EQ(DecodeToUtf8("a\xff"
                           "b",
                           65001),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(DecodeToUtf8("a\x82", 932), "a\xEF\xBF\xBD");  // a lead byte without its second byte
    EXPECT_FALSE(DecodeToUtf8("abc", 720));
    EXPECT_FALSE(IsCodePageSupported(720));
    EXPECT_TRUE(IsCodePageSupported(1252));
}

TEST(EncodeLosslessly, EncodesOnlyWhenEveryCharacterFits) {
    EXPECT_EQ(EncodeLosslessly("café €", 1252), "caf\xe9 \x80");
    EXPECT_EQ(EncodeLosslessly("こん", 932), "\x82\xb1\x82\xf1");
    EXPECT_FALSE(EncodeLosslessly("café При", 1252));
    EXPECT_FALSE(EncodeLosslessly("a\xff", 1252));  // not UTF-8
    EXPECT_FALSE(EncodeLosslessly("abc", 720));
}

TEST(EncodeTextBody, KeepsTheMessageCodePageOnlyWhenNothingIsLost) {
    struct Case {
        const char* name;
        std::string text;
        uint32_t codePage;
        std::string bytes;
        const char* charset;
    } cases[] = {
        {"fits", "Grüße", 1252,
         "Gr\xfc\xdf"
         "e",
         "windows-1252"},
        {"does not fit", "Grüße, Привет", 1252, "Grüße, Привет", "utf-8"},
        {"UTF-8 message", "Привет", 65001, "Привет", "utf-8"},
        {"UTF-16 cannot travel as text", "abc", 1200, "abc", "utf-8"},
        {"EBCDIC cannot travel as text", "abc", 37, "abc", "utf-8"},
        {"code page iconv does not know", "abc", 720, "abc", "utf-8"},
        {"Japanese mail", "こんにちは", 50220, "\x1b$B$3$s$K$A$O\x1b(B", "iso-2022-jp"},
    };
    for (const Case& test : cases) {
        EncodedText encoded = EncodeTextBody(test.text, test.codePage);
        EXPECT_EQ(encoded.bytes, test.bytes) << test.name;
        EXPECT_EQ(encoded.charset, test.charset) << test.name;
    }
}
