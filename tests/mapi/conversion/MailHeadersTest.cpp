// The value rules of a converted message's header block.

#include <gtest/gtest.h>

#include "mapi/MailHeaders.h"
#include "mime/Headers.h"
#include "mime/Mailbox.h"

using namespace Tarvik::MAPI;

namespace {

std::string Assembled(mimepp::Headers& headers) {
    headers.Assemble();
    return headers.AsString().Str();
}

}  // namespace

TEST(MailDateText, FormatsFileTimesInUtcWithoutZoneChange) {
    struct Case {
        std::optional<int64_t> fileTime;
        const char* text;
    } cases[] = {
        {130069657890000000, "Tue, 5 Mar 2013 14:03:09 -0000"},
        {116444736000000000, "Thu, 1 Jan 1970 00:00:00 -0000"},
        {116444735999999999, "Wed, 31 Dec 1969 23:59:59 -0000"},  // rounds down, not towards 1970
        {0, "Mon, 1 Jan 1601 00:00:00 -0000"},
        {std::nullopt, "No Date"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MailDateText(c.fileTime), c.text);
    }
}

TEST(SplitRecipientName, TakesTheAddressOnlyFromOneWellFormedPairOfAngleBrackets) {
    struct Case {
        const char* name;
        const char* display;
        const char* address;
    } cases[] = {
        {"Ann Smith <ann@example.com>", "Ann Smith ", "ann@example.com"},
        {"<ann@example.com>", "", "ann@example.com"},
        {"Ann <<ann@example.com>", "Ann <<ann@example.com>", ""},
        {"Ann <a> <b>", "Ann <a> <b>", ""},
        {"Ann <>", "Ann <>", ""},
        {"Ann >x<", "Ann >x<", ""},
        {"Ann Smith", "Ann Smith", ""},
    };
    for (const Case& c : cases) {
        auto [display, address] = SplitRecipientName(c.name);
        EXPECT_EQ(display, c.display) << c.name;
        EXPECT_EQ(address, c.address) << c.name;
    }
}

TEST(ParseFlatEntryList, ReadsPaddedEntriesAndStopsAtTruncatedOnes) {
    std::string list("\x03\x00\x00\x00\x00\x00\x00\x00", 8);
    list += std::string("\x05\x00\x00\x00", 4) + "abcde" + std::string(3, '\0');
    list += std::string("\x04\x00\x00\x00", 4) + "wxyz";
    list += std::string("\xFF\x00\x00\x00", 4) + "short";
    EXPECT_EQ(ParseFlatEntryList(list), (std::vector<std::string>{"abcde", "wxyz"}));
    EXPECT_TRUE(ParseFlatEntryList(std::string("\x01\x00\x00", 3)).empty());
    // A count far beyond the bytes ends with the bytes.
    std::string huge("\xFF\xFF\xFF\xFF\x00\x00\x00\x00\x01\x00\x00\x00z\0\0\0", 16);
    EXPECT_EQ(ParseFlatEntryList(huge), (std::vector<std::string>{"z"}));
}

TEST(CopyOriginalHeaders, KeepsForeignFieldsInOrderAndLeavesOutWhatTheConverterWrites) {
    mimepp::Headers headers;
    headers.FieldBodyByName("MIME-Version").FromString("1.0");
    CopyOriginalHeaders(
        "Received: from a by b; Tue, 5 Mar 2013 14:03:09 +0000\r\n"
        "Subject: old subject\r\n"
        "X-Mailer: First\r\n"
        "In-Reply-To: <1@example.com>\r\n"
        "References: <0@example.com>\r\n <1@example.com>\r\n"
        "x-mailer: Second\r\n"
        "Content-Type: text/plain\r\n"
        "X-Tab: a\tb\r\n"
        "Thread-Topic: R\xC3\xA9union\r\n"
        "X-Latin: caf\xE9\r\n"
        "\r\n",
        headers);
    EXPECT_EQ(Assembled(headers),
              "MIME-Version: 1.0\r\n"
              "X-Mailer: Second\r\n"
              "In-Reply-To: <1@example.com>\r\n"
              "References: <0@example.com> <1@example.com>\r\n"
              "X-Tab: a b\r\n"
              "Thread-Topic: R\xC3\xA9union\r\n"
              "X-Latin: caf\r\n");
}

TEST(MakeMailbox, SplitsTheAddressAtTheAtSignAndEncodesTheName) {
    auto mailbox = MakeMailbox("Zo\x01\xC3\xAB", "zoe@example.com");
    mailbox->Assemble();
    EXPECT_EQ(mailbox->AsString(), "=?UTF-8?B?Wm8gw6s=?= <zoe@example.com>");
    auto bare = MakeMailbox("", "postmaster");
    bare->Assemble();
    EXPECT_EQ(bare->AsString(), "<postmaster>");
}
