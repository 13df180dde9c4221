#include "mapi/CompressedRtf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using namespace Tarvik::MAPI;

namespace {

std::string Bytes(std::initializer_list<uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The two worked examples of the compressed RTF format description.
const std::string simpleExample = Bytes({
    0x2d, 0x00, 0x00, 0x00, 0x2b, 0x00, 0x00, 0x00, 0x4c, 0x5a, 0x46, 0x75, 0xf1, 0xc5, 0xc7, 0xa7, 0x03,
    0x00, 0x0a, 0x00, 0x72, 0x63, 0x70, 0x67, 0x31, 0x32, 0x35, 0x42, 0x32, 0x0a, 0xf3, 0x20, 0x68, 0x65,
    0x6c, 0x09, 0x00, 0x20, 0x62, 0x77, 0x05, 0xb0, 0x6c, 0x64, 0x7d, 0x0a, 0x80, 0x0f, 0xa0,
});
const std::string simpleExampleRtf = "{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n";

// A reference that reaches across the current write position repeats its own output.
const std::string crossingExample = Bytes({
    0x1a, 0x00, 0x00, 0x00, 0x1c, 0x00, 0x00, 0x00, 0x4c, 0x5a, 0x46, 0x75, 0xe2, 0xd4, 0x4b,
    0x51, 0x41, 0x00, 0x04, 0x20, 0x57, 0x58, 0x59, 0x5a, 0x0d, 0x6e, 0x7d, 0x01, 0x0e, 0xb0,
});
const std::string crossingExampleRtf = "{\\rtf1 WXYZWXYZWXYZWXYZWXYZ}";

void Put32(std::string& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<char>(value >> (8 * i));
    }
}

// A header with the given type and sizes around `contents`, its CRC computed for compressed data.
std::string WithHeader(const std::string& type, const std::string& contents, uint32_t rawSize) {
    std::string data(16, '\0');
    Put32(data, 0, static_cast<uint32_t>(contents.size() + 12));
    Put32(data, 4, rawSize);
    data.replace(8, 4, type);
    Put32(data, 12, type == "LZFu" ? CompressedRtfCrc(contents) : 0);
    return data + contents;
}

}  // namespace

TEST(CompressedRtf, DecompressesTheWorkedExamples) {
    EXPECT_EQ(DecompressRtf(simpleExample), simpleExampleRtf);
    EXPECT_EQ(DecompressRtf(crossingExample), crossingExampleRtf);
    EXPECT_EQ(CompressedRtfCrc(simpleExample.substr(16)), 0xa7c7c5f1u);
}

TEST(CompressedRtf, ReadsStoredRtfAndIgnoresBytesAfterTheData) {
    EXPECT_EQ(DecompressRtf(WithHeader("MELA", "{\\rtf1 hi}", 10)), "{\\rtf1 hi}");
    // Some writers count the header in the raw size of stored RTF.
    EXPECT_EQ(DecompressRtf(WithHeader("MELA", "{\\rtf1 hi}", 22)), "{\\rtf1 hi}");
    EXPECT_EQ(DecompressRtf(simpleExample + std::string(7, '\0')), simpleExampleRtf);
}

TEST(CompressedRtf, RefusesDamagedData) {
    std::string badCrc = simpleExample;
    badCrc[20] ^= 0x01;
    std::string storedWithCrc = WithHeader("MELA", "{\\rtf1 hi}", 10);
    storedWithCrc[12] = 1;
    std::string unknownType = simpleExample;
    unknownType.replace(8, 4, "ABCD");
    std::string contents = simpleExample.substr(16);
    std::string crossing = crossingExample.substr(16);
    std::string truncatedCount = simpleExample.substr(0, simpleExample.size() - 1);

    struct Case {
        const char* name;
        std::string data;
        const char* message;
    } cases[] = {
        {"shorter than the header", simpleExample.substr(0, 15), "shorter than its 16-byte header"},
        {"cut short", truncatedCount, "announces 49 bytes but holds 48"},
        {"CRC mismatch", badCrc, "fails its CRC check"},
        {"stored with a CRC", storedWithCrc, "where 0 belongs"},
        {"unknown type", unknownType, "unknown type"},
        {"more output than announced", WithHeader("LZFu", contents, 42), "more than the 42 bytes"},
        {"no end marker, output short", WithHeader("LZFu", crossing.substr(0, crossing.size() - 4), 28),
         "without an end marker"},
        {"reference cut in half", WithHeader("LZFu", contents.substr(0, contents.size() - 1), 43),
         "inside a dictionary reference"},
    };
    for (const Case& test : cases) {
        try {
            DecompressRtf(test.data);
            ADD_FAILURE() << test.name << ": no error";
        } catch (const CompressedRtfError& error) {
            EXPECT_NE(std::string(error.what()).find(test.message), std::string::npos)
                << test.name << ": " << error.what();
        }
    }
}

TEST(CompressedRtf, RefusesRtfLargerThanAllowed) {
    EXPECT_THROW(DecompressRtf(simpleExample, 42), CompressedRtfError);
    EXPECT_EQ(DecompressRtf(simpleExample, 43), simpleExampleRtf);
}
