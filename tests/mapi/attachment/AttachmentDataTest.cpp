#include <gtest/gtest.h>

#include "mapi/AttachmentContentTypes.h"
#include "mapi/AttachmentData.h"

using namespace Tarvik::MAPI;

TEST(ContentTypeFromRegistry, KnowsCommonExtensionsInAnyCase) {
    EXPECT_EQ(ContentTypeFromRegistry(".pdf"), "application/pdf");
    EXPECT_EQ(ContentTypeFromRegistry(".JPG"), "image/jpeg");
    EXPECT_EQ(ContentTypeFromRegistry("docx"),
              "application/vnd.openxmlformats-officedocument.wordprocessingml.document");
    EXPECT_EQ(ContentTypeFromRegistry(".eml"), "message/rfc822");
    EXPECT_FALSE(ContentTypeFromRegistry(".unknownextension"));
    EXPECT_FALSE(ContentTypeFromRegistry(""));
    EXPECT_FALSE(ContentTypeFromRegistry("."));
}

TEST(FindByteOrderMark, FindsTheLongestMarkOfDataLongerThanIt) {
    struct Case {
        std::string data;
        const char* charset;  // nullptr: none
        size_t length;
    } cases[] = {
        {std::string("\x00\x00\xFE\xFF\x00\x00\x00\x41", 8), "UTF-32BE", 4},
        {std::string("\xFF\xFE\x00\x00\x41\x00\x00\x00", 8), "UTF-32LE", 4},
        {std::string("\xFE\xFF\x00\x41", 4), "UTF-16BE", 2},
        {std::string("\xFF\xFE\x41\x00", 4), "UTF-16LE", 2},
        {"\xEF\xBB\xBFtext", "UTF-8", 3},
        {"\xEF\xBB\xBF", nullptr, 0},  // nothing but the mark
        {"plain", nullptr, 0},
        {"", nullptr, 0},
    };
    for (const Case& test : cases) {
        std::optional<ByteOrderMark> mark = FindByteOrderMark(test.data);
        if (test.charset == nullptr) {
            EXPECT_FALSE(mark) << test.data;
            continue;
        }
        ASSERT_TRUE(mark) << test.charset;
        EXPECT_EQ(mark->charset, test.charset);
        EXPECT_EQ(mark->length, test.length);
    }
}

namespace {

// A MacBinary file: 128-byte header, data fork padded to 128 bytes, resource fork.
std::string MacBinary(const std::string& dataFork, const std::string& resourceFork) {
    std::string header(128, '\0');
    header[1] = 8;
    header.replace(2, 8, "file.txt");
    header.replace(65, 8, "TEXTttxt");
    for (int i = 0; i < 4; ++i) {
        header[83 + i] = static_cast<char>(dataFork.size() >> (24 - 8 * i));
        header[87 + i] = static_cast<char>(resourceFork.size() >> (24 - 8 * i));
    }
    std::string padded = dataFork + std::string((128 - dataFork.size() % 128) % 128, '\0');
    return header + padded + resourceFork;
}

}  // namespace

TEST(MacBinaryDataFork, GivesTheFileWithoutHeaderAndResourceFork) {
    EXPECT_EQ(MacBinaryDataFork(MacBinary("Hello, Mac", "resource bytes")), "Hello, Mac");
    EXPECT_EQ(MacBinaryDataFork(MacBinary("", "resource only")), "");
}

TEST(MacBinaryDataFork, LeavesOtherDataAlone) {
    std::string wrongLength = MacBinary("Hello", "");
    wrongLength[84] = 1;  // a data fork longer than the data
    std::string notMacBinary = MacBinary("Hello", "");
    notMacBinary[0] = 1;
    EXPECT_FALSE(MacBinaryDataFork(wrongLength));
    EXPECT_FALSE(MacBinaryDataFork(notMacBinary));
    EXPECT_FALSE(MacBinaryDataFork("short"));
}
