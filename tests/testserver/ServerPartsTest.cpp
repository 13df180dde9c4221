// The server's own parsers and rules: the MIME check that refuses faulty messages, the upload form
// parser, header decoding, folder and tag names, and scenario rule matching.

#include <gtest/gtest.h>

#include "testserver/Config.h"
#include "testserver/Fault.h"
#include "testserver/HeaderDecoder.h"
#include "testserver/MimeCheck.h"
#include "testserver/MultipartForm.h"
#include "testserver/Names.h"
#include "testserver/Scenario.h"

namespace Tarvik::TestServer {
namespace {

const std::string MultipartMessage =
    "From: a@example.org\r\nSubject: =?utf-8?B?R3LDvMOfZQ==?= =?utf-8?Q?_und_mehr?=\r\n"
    "Message-ID: <m1@example.org>\r\nMIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed;\r\n\tboundary=\"outer\"\r\n\r\n"
    "preamble\r\n--outer\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: "
    "quoted-printable\r\n\r\n"
    "caf=C3=A9 =\r\nsoft break\r\n"
    "--outer\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n\r\n"
    "AAECAwQ=\r\n"
    "--outer\r\nContent-Type: message/rfc822\r\n\r\nSubject: inner\r\n\r\nbody\r\n"
    "--outer--\r\nepilogue\r\n";

TEST(MimeCheckTest, AcceptsWellFormedMessagesAndSummarisesThem) {
    MimeSummary summary = CheckMime(MultipartMessage);
    EXPECT_EQ(summary.subject, "Grüße und mehr");
    EXPECT_EQ(summary.messageId, "<m1@example.org>");
    EXPECT_EQ(summary.leafParts, 3);
    EXPECT_NO_THROW(CheckMime("Subject: headers only\r\n"));
    EXPECT_NO_THROW(
        CheckMime("Subject: x\r\nContent-Type: multipart/alternative; boundary=b\r\n\r\n--b\r\n\r\n--b--"));
}

TEST(MimeCheckTest, RefusesFaultyMessagesNamingTheProblem) {
    struct Case {
        const char* name;
        std::string message;
        const char* expected;
    } cases[] = {
        {"empty", "", "empty message"},
        {"no headers", "\r\nbody", "without header fields"},
        {"bare LF", "Subject: x\nFrom: y\r\n\r\n", "bare line feed"},
        {"no colon", "Subject x\r\n\r\n", "without field name"},
        {"continuation first", " folded\r\n\r\n", "continuation line"},
        {"control char", "Subject: a\x01z\r\n\r\n", "control character"},
        {"invalid UTF-8", "Subject: \xff\xfe\r\n\r\n", "not UTF-8"},
        {"unknown encoding", "Content-Transfer-Encoding: x-uue\r\n\r\nx",
         "unknown Content-Transfer-Encoding"},
        {"8bit in 7bit", "Subject: x\r\n\r\ncaf\xc3\xa9", "8-bit byte in a 7bit body"},
        {"bad base64", "Content-Transfer-Encoding: base64\r\n\r\nAB*D", "invalid character in base64"},
        {"short base64", "Content-Transfer-Encoding: base64\r\n\r\nABC", "truncated base64"},
        {"bad QP", "Content-Transfer-Encoding: quoted-printable\r\n\r\n=ZZ", "invalid escape"},
        {"no boundary", "Content-Type: multipart/mixed\r\n\r\n--x\r\n\r\n--x--", "without boundary"},
        {"no delimiter", "Content-Type: multipart/mixed; boundary=b\r\n\r\nnothing", "without boundary line"},
        {"unclosed", "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\ntext\r\n",
         "without closing boundary"},
        {"encoded multipart",
         "Content-Type: multipart/mixed; boundary=b\r\nContent-Transfer-Encoding: base64\r\n\r\n",
         "multipart body with Content-Transfer-Encoding"},
        {"faulty part",
         "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nno header\r\n\r\nbody\r\n--b--",
         "without field name"},
    };
    for (const Case& c : cases) {
        try {
            CheckMime(c.message);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const MimeError& error) {
            EXPECT_NE(std::string(error.what()).find(c.expected), std::string::npos)
                << c.name << ": " << error.what();
        }
    }
}

TEST(MultipartFormTest, SplitsTheImportersFormWithAnyBoundaryCharacters) {
    std::string boundary = FormBoundary("multipart/form-data; boundary=--B-00=_aZ$%0q");
    EXPECT_EQ(boundary, "--B-00=_aZ$%0q");
    std::string content("binary\0\r\n--not-the-boundary\r\n", 30);
    std::string body = "--" + boundary +
                       "\r\nContent-Disposition: form-data; name=\"requestId\"\r\n\r\nid-1\r\n--" + boundary +
                       "\r\nContent-Disposition: form-data; name=\"kvlib32\"; filename=\"kvlib32.bin\"\r\n"
                       "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: binary\r\n\r\n" +
                       content + "\r\n--" + boundary + "--\r\n";
    std::vector<FormPart> parts = ParseMultipartForm(body, boundary);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].name, "requestId");
    EXPECT_FALSE(parts[0].filename);
    EXPECT_EQ(parts[0].content, "id-1");
    EXPECT_EQ(parts[1].filename.value_or(""), "kvlib32.bin");
    EXPECT_EQ(parts[1].transferEncoding, "binary");
    EXPECT_EQ(parts[1].content, content);

    // cpp-httplib percent-decodes header values: "%c0" in the boundary arrives as the byte 0xC0.
    EXPECT_EQ(BodyBoundary("--a%c0b\r\n",
                           "a\xc0"
                           "b"),
              "a%c0b");
    EXPECT_EQ(BodyBoundary("--a%zz\r\n", "a%zz"), "a%zz");
    EXPECT_THROW(BodyBoundary("--other\r\n", "a%c0b"), FormError);
}

TEST(MultipartFormTest, RefusesBrokenFraming) {
    const std::string head = "--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x\"\r\n\r\ndata";
    struct Case {
        const char* name;
        std::string body;
    } cases[] = {
        {"preamble", "junk\r\n" + head + "\r\n--b--\r\n"},
        {"unclosed", head},
        {"no disposition", "--b\r\nContent-Type: text/plain\r\n\r\ndata\r\n--b--\r\n"},
        {"no headers", "--b\r\n\r\ndata\r\n--b--\r\n"},
        {"not form-data", "--b\r\nContent-Disposition: attachment; name=\"f\"\r\n\r\nx\r\n--b--\r\n"},
        {"trailing data", head + "\r\n--b--\r\nmore"},
        {"no parts", "--b--\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_THROW(ParseMultipartForm(c.body, "b"), FormError) << c.name;
    }
    EXPECT_THROW(FormBoundary("multipart/mixed; boundary=b"), FormError);
    EXPECT_THROW(FormBoundary("multipart/form-data"), FormError);
}

TEST(HeaderDecoderTest, DecodesEncodedWordsAndKeepsWhatItCannot) {
    EXPECT_EQ(DecodeHeaderText("=?iso-8859-1?q?caf=E9?= au lait"), "café au lait");
    EXPECT_EQ(DecodeHeaderText("=?UTF-8?B?w6k=?=  =?UTF-8?B?w6k=?="), "éé");
    EXPECT_EQ(DecodeHeaderText("plain =?x-unknown?q?a?= text"), "plain =?x-unknown?q?a?= text");
    EXPECT_EQ(DecodeHeaderText("=?utf-8?q?broken=Z?="), "=?utf-8?q?broken=Z?=");
}

TEST(NamesTest, FoldsCaseAndChecksItemNames) {
    EXPECT_EQ(FoldCase("ÄrGER Inbox"), FoldCase("ärger inbox"));
    for (const char* good : {"Inbox", "Projekte 2013", "a\\b", "Ünïcödé"}) {
        EXPECT_NO_THROW(CheckItemName(good)) << good;
    }
    std::string tooLong(129, 'x');
    for (const std::string& bad :
         {std::string(), std::string(" lead"), std::string("trail "), std::string("a:b"), std::string("a/b"),
          std::string("a\"b"), std::string("tab\there"), std::string("."), std::string(".."), tooLong}) {
        EXPECT_THROW(CheckItemName(bad), Fault) << bad;
    }
    EXPECT_NO_THROW(CheckItemName(std::string(128, 'x')));
}

TEST(ScenarioTest, RulesFireOnTheirOccurrencesAndInFileOrder) {
    Scenario scenario = Scenario::FromJson(R"({"rules": [
        {"operation": "AddMsgRequest", "occurrence": 2, "action": "fault", "code": "mail.QUOTA_EXCEEDED"},
        {"operation": "AddMsgRequest", "requestId": "7", "action": "close", "when": "middle"},
        {"account": "USER@example.com", "action": "delay", "ms": 5},
        {"operation": "GetFolderRequest", "occurrence": 1, "times": 0, "action": "httpError"}
    ]})",
                                           "test");
    auto decide = [&](const std::string& operation, std::optional<std::string> id = std::nullopt) {
        return scenario.Decide(RequestFacts{operation, "user@example.com", std::move(id)});
    };
    ScenarioDecision first = decide("AddMsgRequest");
    EXPECT_FALSE(first.action);
    EXPECT_EQ(first.delayMs, 5);
    ScenarioDecision second = decide("AddMsgRequest", "7");
    ASSERT_TRUE(second.action);
    EXPECT_EQ(second.action->kind, ActionKind::Fault);  // the earlier rule wins
    ScenarioDecision third = decide("AddMsgRequest", "7");
    ASSERT_TRUE(third.action);
    EXPECT_EQ(third.action->kind, ActionKind::Close);
    EXPECT_EQ(third.action->when, Timing::Middle);
    EXPECT_FALSE(decide("AddMsgRequest", "8").action);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(decide("GetFolderRequest").action) << "times 0 means every time";
    }
}

TEST(ScenarioTest, RefusesRulesItCannotCarryOut) {
    for (const char* text : {
             R"({"rules": [{"action": "explode"}]})",
             R"({"rules": [{"action": "fault"}]})",
             R"({"rules": [{"action": "delay"}]})",
             R"({"rules": [{"action": "close", "when": "later"}]})",
             R"({"rules": [{"action": "httpError", "when": "middle"}]})",
             R"({"rules": [{"action": "fault", "code": "x", "ms": 3}]})",
             R"({"rules": [{"action": "answer"}]})",
             R"({"rules": [{"action": "fault", "code": "x", "occurrence": 0}]})",
             R"({"rules": {}})",
             R"({"rules": [], "extra": 1})",
             "not json",
         }) {
        EXPECT_THROW(Scenario::FromJson(text, "scenario.json"), std::runtime_error) << text;
    }
}

TEST(ConfigTest, AddsDomainsOfAccountsAndRefusesMistakes) {
    ServerConfig config = ServerConfig::FromJson(
        R"({"accounts": [{"name": "a@one.org", "password": "p"}, {"name": "b@two.org", "password": "p"}]})",
        "c.json");
    ASSERT_EQ(config.domains.size(), 2u);
    EXPECT_EQ(config.defaultDomain, "one.org");
    for (const char* text : {
             R"({"acounts": []})",
             R"({"accounts": [{"name": "no-domain", "password": "p"}]})",
             R"({"accounts": [{"name": "a@x.org"}, {"name": "A@X.org"}]})",
             R"({"accounts": [{"name": "a@x.org", "quota": "big"}]})",
             R"({"accounts": [{"name": "a@x.org", "quota": -1}]})",
             R"({"defaultDomain": "elsewhere.org", "accounts": [{"name": "a@x.org"}]})",
             R"({"tokenLifetimeMs": 0})",
         }) {
        try {
            ServerConfig::FromJson(text, "c.json");
            ADD_FAILURE() << "accepted " << text;
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()).rfind("c.json: ", 0), 0u) << error.what();
        }
    }
}

}  // namespace
}  // namespace Tarvik::TestServer
