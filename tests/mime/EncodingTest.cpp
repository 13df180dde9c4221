// The transfer encodings: the choice between 7bit, quoted-printable and base64, the encoders and
// decoders, and AddBodyToPart, which ties them to a body part.

#include <gtest/gtest.h>

#include <random>

#include "mime/Mime.h"

namespace {

using mimepp::BodyEncoding;

std::string Repeat(char c, size_t count) {
    return std::string(count, c);
}

// Lines of 70 letters, each ending in CR LF.
std::string ShortLines(size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += Repeat('a', 70) + "\r\n";
    }
    return text;
}

BodyEncoding Choose(const std::string& bytes) {
    return mimepp::ChooseTransferEncoding(bytes.data(), bytes.size());
}

TEST(TransferEncodingChoice, FollowsLineLengthAndShareOfUnsafeBytes) {
    struct Case {
        std::string bytes;
        BodyEncoding expected;
    } cases[] = {
        {"", BodyEncoding::SevenBit},
        {Repeat('a', 76), BodyEncoding::SevenBit},
        {Repeat('a', 77), BodyEncoding::QuotedPrintable},
        {"x\r\n" + Repeat('a', 75), BodyEncoding::SevenBit},  // the line break counts as a character
        {"\r\n" + Repeat('a', 76), BodyEncoding::QuotedPrintable},
        {"printable\tand one tab", BodyEncoding::QuotedPrintable},
        {"DEL \x7f", BodyEncoding::QuotedPrintable},
        // The threshold is 17 % of the length rounded half up: 3 bytes allow 1 unsafe byte (0.51).
        {"a\x01\x02", BodyEncoding::Base64},
        {"ab\x01", BodyEncoding::QuotedPrintable},
        // 50 bytes: 8.5 rounds to 9, so 9 unsafe bytes are still quoted-printable, 10 are not.
        {Repeat('\x01', 9) + Repeat('a', 41), BodyEncoding::QuotedPrintable},
        {Repeat('\x01', 10) + Repeat('a', 40), BodyEncoding::Base64},
        {"%PDF-1.4 " + Repeat('a', 200) + "\xe2", BodyEncoding::Base64},
        {"%PDF-1.4 ASCII only", BodyEncoding::SevenBit},
        {"%PD\xe2" + Repeat('a', 200), BodyEncoding::QuotedPrintable},
        // Long buffers: what counts is the whole share, wherever the unsafe bytes sit.
        {Repeat('a', 8300) + Repeat('\x80', 1700), BodyEncoding::QuotedPrintable},
        {Repeat('a', 8299) + Repeat('\x80', 1701), BodyEncoding::Base64},
        {Repeat('\x80', 1701) + Repeat('a', 8299), BodyEncoding::Base64},
        {"%PDF" + Repeat('a', 9000) + "\x01", BodyEncoding::Base64},
        {ShortLines(200), BodyEncoding::SevenBit},
        {ShortLines(200) + Repeat('a', 77), BodyEncoding::QuotedPrintable},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(static_cast<int>(Choose(c.bytes)), static_cast<int>(c.expected)) << c.bytes;
    }
}

TEST(QuotedPrintable, EncodesLineByLine) {
    struct Case {
        std::string input;
        std::string expected;
    } cases[] = {
        {"", ""},
        {"abc", "abc=\r\n"},
        {"abc\r\n", "abc\r\n"},
        {"abc\n", "abc\r\n"},
        {"a\rb\r\n", "a=0Db\r\n"},
        {"space at the end \r\n", "space at the end=20\r\n"},
        {"tab at the end\t\r\n", "tab at the end=09\r\n"},
        {"trailing space, no line break ", "trailing space, no line break =\r\n"},
        {"From me\r\nFrom\r\n", "From=20me\r\nFrom\r\n"},
        {".\r\n.x\r\nx.\r\n", "=2E\r\n=2Ex\r\nx.\r\n"},
        {"=!#$@[\\]^`{|}~\"", "=3D=21=23=24=40=5B=5C=5D=5E=60=7B=7C=7D=7E=22=\r\n"},
        {std::string("\xc3\xa9\x00\x7f", 4), "=C3=A9=00=7F=\r\n"},
        {Repeat('a', 76) + "\r\n", Repeat('a', 76) + "\r\n"},
        {Repeat('a', 77) + "\r\n", Repeat('a', 75) + "=\r\naa\r\n"},
        {Repeat('a', 100), Repeat('a', 75) + "=\r\n" + Repeat('a', 25) + "=\r\n"},
        {Repeat('a', 75), Repeat('a', 75) + "=\r\n"},
        {Repeat('a', 76), Repeat('a', 75) + "=\r\na=\r\n"},
        // Breaks go after the last space within the first 75 characters.
        {Repeat('a', 60) + " " + Repeat('b', 30) + "\r\n",
         Repeat('a', 60) + " =\r\n" + Repeat('b', 30) + "\r\n"},
        // A soft break never cuts an =XX triplet.
        {Repeat('a', 73) + "\xff" + "bb\r\n", Repeat('a', 73) + "=\r\n=FFbb\r\n"},
        {Repeat('a', 74) + "\xff" + "bb\r\n", Repeat('a', 74) + "=\r\n=FFbb\r\n"},
        {Repeat('a', 72) + "\xff" + "bb\r\n", Repeat('a', 72) + "=FF=\r\nbb\r\n"},
        // The part after a soft break is a new line: its leading dot is escaped too.
        {Repeat('a', 75) + ".b\r\n", Repeat('a', 75) + "=\r\n=2Eb\r\n"},
        // A trailing space pushed over the limit by its =20 moves to a line of its own.
        {Repeat('a', 76) + " \r\n", Repeat('a', 75) + "=\r\na=20\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mimepp::QuotedPrintableEncode(c.input), c.expected) << c.input;
    }
}

TEST(QuotedPrintable, Decodes) {
    struct Case {
        std::string input;
        std::string expected;
    } cases[] = {
        {"", ""},
        {"=41=4a=4A", "AJJ"},
        {"soft=\r\nbreak=  \r\nand=\nend=", "softbreakandend"},
        {"end soft break with blanks=  \t", "end soft break with blanks"},
        {"trailing blanks \t\r\nnext  \nlast  ", "trailing blanks\r\nnext\r\nlast"},
        {"bare\nlf", "bare\r\nlf"},
        {"lone\rcr and\x01 control", "lonecr and control"},
        {"\xc3\xa9 and tab\tinside", "\xc3\xa9 and tab\tinside"},
        {"malformed =G1 =4 =", "malformed =G1 =4 "},
        // Long runs of white space are data; all of it is kept.
        {"a" + Repeat(' ', 150) + "b", "a" + Repeat(' ', 150) + "b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mimepp::QuotedPrintableDecode(c.input), c.expected) << c.input;
    }
}

TEST(QuotedPrintable, DecodingGivesBackWhatWasEncodedWithLineBreaksAsCrLf) {
    std::mt19937 random(7);
    const std::string alphabet = std::string("ab .=\t\r\n\xc3\xa9", 11) + "From ";
    for (int round = 0; round < 300; ++round) {
        std::string input;
        size_t length = random() % 400;
        for (size_t i = 0; i < length; ++i) {
            input += alphabet[random() % alphabet.size()];
        }
        std::string expected;
        for (size_t i = 0; i < input.size(); ++i) {
            if (input[i] == '\n' && (i == 0 || input[i - 1] != '\r')) {
                expected += '\r';
            }
            expected += input[i];
        }
        mimepp::String encoded = mimepp::QuotedPrintableEncode(input);
        ASSERT_EQ(mimepp::QuotedPrintableDecode(encoded.View()), expected) << input;
        std::string_view text = encoded.View();
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find("\r\n", start);
            ASSERT_NE(end, std::string_view::npos);
            ASSERT_LE(end - start, 76u) << text.substr(start, end - start);
            start = end + 2;
        }
    }
}

TEST(Base64, EncodesInLinesOf72Characters) {
    struct Case {
        std::string input;
        std::string expected;
    } cases[] = {
        {"", ""},
        {"f", "Zg==\r\n"},
        {"fo", "Zm8=\r\n"},
        {"foo", "Zm9v\r\n"},
        {"foob", "Zm9vYg==\r\n"},
        {"fooba", "Zm9vYmE=\r\n"},
        {"foobar", "Zm9vYmFy\r\n"},
        {std::string("\xff\xfe\x00", 3), "//4A\r\n"},
        {Repeat('\0', 54), Repeat('A', 72) + "\r\n"},
        {Repeat('\0', 55), Repeat('A', 72) + "\r\nAA==\r\n"},
        {Repeat('\0', 108), Repeat('A', 72) + "\r\n" + Repeat('A', 72) + "\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mimepp::Base64Encode(c.input), c.expected) << c.input;
    }
}

TEST(Base64, DecodesWhateverSurroundsTheAlphabet) {
    struct Case {
        std::string input;
        std::string expected;
    } cases[] = {
        {"Zm9vYmFy", "foobar"},
        {"Zm9v\r\nYmE=\r\n", "fooba"},
        {" Zm 9v\tYg\f==", "foob"},
        // Stray characters are ignored, as RFC 2045 asks; a damaged line loses no other data.
        {"Zm9v!YmFy*", "foobar"},
        // Groups of two or three characters still carry their bytes, padded or not.
        {"QUI", "AB"},
        {"QQ", "A"},
        {"Q", ""},
        // Padding ends a group, so concatenated encodings decode one after the other.
        {"QQ==QUI=QUJD", "AABABC"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mimepp::Base64Decode(c.input), c.expected) << c.input;
    }
    std::mt19937 random(3);
    for (size_t size = 0; size < 300; ++size) {
        std::string bytes;
        for (size_t i = 0; i < size; ++i) {
            bytes += static_cast<char>(random());
        }
        ASSERT_EQ(mimepp::Base64Decode(mimepp::Base64Encode(bytes).View()), bytes) << size;
    }
}

TEST(AddBodyToPart, StoresTheEncodedBodyAndItsTransferEncoding) {
    struct Case {
        std::string bytes;
        bool normalise;
        std::string encoding;
        std::string body;
    } cases[] = {
        {"line\nnext\r\n", true, "7bit", "line\r\nnext\r\n"},
        {"line\nnext", false, "7bit", "line\nnext"},
        {"caf\xc3\xa9 cr\xc3\xa8me au lait\n", true, "Quoted-printable", "caf=C3=A9 cr=C3=A8me au lait\r\n"},
        {"\x01\x02\x03", false, "Base64", "AQID\r\n"},
        {"", false, "7bit", ""},
    };
    for (const Case& c : cases) {
        mimepp::BodyPart part;
        Tarvik::MAPI::Util::AddBodyToPart(part, c.bytes.data(), c.bytes.size(), c.normalise);
        part.Assemble();
        EXPECT_EQ(part.AsString(), "Content-Transfer-Encoding: " + c.encoding + "\r\n\r\n" + c.body)
            << c.bytes;
        EXPECT_FALSE(part.Body().IsModified());
    }
}

TEST(AddBodyToPart, LeavesThePartAloneWithoutBytes) {
    mimepp::BodyPart part;
    part.Assemble();
    Tarvik::MAPI::Util::AddBodyToPart(part, nullptr, 10, true);
    EXPECT_EQ(part.Headers().NumFields(), 0u);
    EXPECT_FALSE(part.IsModified());
}

}  // namespace
