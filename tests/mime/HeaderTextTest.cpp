// Encoded words: subjects and file names (EncodeHeaderText) and display names
// (Mailbox::SetDisplayName), and reading them back.

#include <gtest/gtest.h>

#include "mime/CharClasses.h"
#include "mime/Mime.h"

namespace {

TEST(EncodeHeaderText, EncodesTheWholeTextAsOneQWordOnlyWhenNeeded) {
    struct Case {
        std::string text;
        std::string expected;
    } cases[] = {
        {"Plain (ASCII) subject, with = and ?", "Plain (ASCII) subject, with = and ?"},
        {"", ""},
        {"Gr\xc3\xbc\xc3\x9f"
         "e aus K\xc3\xb6ln",
         "=?utf-8?q?Gr=C3=BC=C3=9Fe_aus_K=C3=B6ln?="},
        {"tab\there", "=?utf-8?q?tab=09here?="},
        {"\xc3\xa9 a_b=c?d.e!*+-/", "=?utf-8?q?=C3=A9_a=5Fb=3Dc=3Fd=2Ee!*+-/?="},
        {std::string("nul\0", 4), "=?utf-8?q?nul=00?="},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mimepp::EncodeHeaderText(c.text), c.expected);
    }
}

std::string Joined(const std::vector<std::unique_ptr<mimepp::EncodedWord>>& words) {
    std::string text;
    for (const auto& word : words) {
        word->Assemble();
        text += (text.empty() ? "" : " ") + word->AsString().Str();
    }
    return text;
}

TEST(DisplayNameWords, ChooseQOrBByTheirLengthAndNeverSplitACharacter) {
    struct Case {
        std::string name;
        std::string expected;
    } cases[] = {
        {"John Smith", "John Smith"},
        // 13 bytes, 3 escaped: 13 + 6 < 4 * 5, so Q.
        {"M\xc3\xbcller, Hans", "=?UTF-8?Q?M=C3=BCller=2C_Hans?="},
        // 5 bytes, 2 escaped: 9 >= 4 * 2, so B.
        {"J\xc3\xb6rg", "=?UTF-8?B?SsO2cmc=?="},
        // 46 bytes of three-byte characters: the B word closes before the character that would
        // pass 45 bytes.
        {"\xe5\xb1\xb1\xe7\x94\xb0\xe5\xa4\xaa\xe9\x83\x8e\xe3\x81\xa8\xe5\xb1\xb1\xe7\x94\xb0\xe8\x8a\xb1"
         "\xe5\xad\x90"
         "\xe3\x81\xa8\xe9\x88\xb4\xe6\x9c\xa8\xe4\xb8\x80\xe9\x83\x8e\xe3\x81\xa8\xe4\xbd\x90"
         "a",
         "=?UTF-8?B?5bGx55Sw5aSq6YOO44Go5bGx55Sw6Iqx5a2Q44Go6Yi05pyo5LiA6YOO44Go?= =?UTF-8?B?5L2QYQ==?="},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Joined(mimepp::EncodePhraseWords(c.name, "UTF-8")), c.expected) << c.name;
    }
}

TEST(DisplayNameWords, QWordsEndBeforeASpaceAndStayWithin75Characters) {
    const std::string names[] = {
        "\xc3\x85ngstr\xc3\xb6m \xc3\x85sa-Maria \xc3\x96"
        "berg von \xc3\x9c"
        "belsbach-Lindqvist zu "
        "Gro\xc3\x9f"
        "enhainichen-Neuenkirchen und noch viel mehr Text dahinter",
        "\xc3\xa9" + std::string(200, 'x'),  // no space at all: cut at a character
        "\xc3\xa9" + std::string(70, 'x') + "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9",  // never inside a character
    };
    for (const std::string& name : names) {
        auto words = mimepp::EncodePhraseWords(name, "UTF-8");
        ASSERT_GT(words.size(), 1u) << name;
        std::string decoded;
        for (size_t i = 0; i < words.size(); ++i) {
            const mimepp::EncodedWord& word = *words[i];
            EXPECT_EQ(word.EncodingLetter(), 'Q');
            words[i]->Assemble();
            EXPECT_LE(word.AsString().size(), 75u) << word.AsString();
            std::string_view piece = word.DecodedText().View();
            EXPECT_NE(piece.back(), ' ') << "a space begins the next word";
            for (size_t pos = 0; pos < piece.size(); pos += mimepp::chars::Utf8SequenceLength(piece, pos)) {
                EXPECT_FALSE((static_cast<unsigned char>(piece[pos]) & 0xC0) == 0x80)
                    << "split character in " << piece;
            }
            decoded += piece;
        }
        EXPECT_EQ(decoded, name);
    }
}

TEST(DisplayNameWords, ReadBackThroughTheParser) {
    const std::string names[] = {
        "Smith, John",
        "Say \"Hi\" \\o/",
        "M\xc3\xbcller, Hans",
        "\xe5\xb1\xb1\xe7\x94\xb0 \xe5\xa4\xaa\xe9\x83\x8e",
        "\xc3\x85ngstr\xc3\xb6m \xc3\x85sa-Maria \xc3\x96"
        "berg von \xc3\x9c"
        "belsbach-Lindqvist zu Gro\xc3\x9f"
        "enhain",
    };
    for (const std::string& name : names) {
        mimepp::Message message;
        auto mailbox = std::make_unique<mimepp::Mailbox>();
        mailbox->SetDisplayName(name, "UTF-8");
        mailbox->SetLocalPart("someone");
        mailbox->SetDomain("example.com");
        message.Headers().From().AddMailbox(std::move(mailbox));
        message.Assemble();

        mimepp::Message parsed;
        parsed.FromString(message.AsString());
        parsed.Parse();
        const mimepp::Mailbox& read = parsed.Headers().From().MailboxAt(0);
        EXPECT_EQ(read.DisplayName().DecodedText(), name) << message.AsString();
        EXPECT_EQ(read.LocalPart(), "someone");
        EXPECT_EQ(read.Domain(), "example.com");
    }
}

TEST(EncodedWord, ParsesEncodedAndPlainWords) {
    struct Case {
        std::string word;
        std::string charset;
        char letter;
        std::string decoded;
    } cases[] = {
        {"=?utf-8?q?Gr=C3=BC=c3=9Fe_x?=", "utf-8", 'q',
         "Gr\xc3\xbc\xc3\x9f"
         "e x"},
        {"=?ISO-8859-1?B?SGFsbG8=?=", "ISO-8859-1", 'B', "Hallo"},
        {"=?utf-8?X?abc?=", "", 0, "=?utf-8?X?abc?="},
        {"=?utf-8?q?a?b?=", "", 0, "=?utf-8?q?a?b?="},
        {"=??q?abc?=", "", 0, "=??q?abc?="},
        {"=?a?q?"
         "?=",
         "a", 'q', ""},
        {"plain", "", 0, "plain"},
    };
    for (const Case& c : cases) {
        mimepp::Text text;
        text.SetText(c.word);
        ASSERT_EQ(text.NumEncodedWords(), 1u);
        const mimepp::EncodedWord& word = text.EncodedWordAt(0);
        EXPECT_EQ(word.Charset(), c.charset) << c.word;
        EXPECT_EQ(word.EncodingLetter(), c.letter) << c.word;
        EXPECT_EQ(word.DecodedText(), c.decoded) << c.word;
    }
}

}  // namespace
