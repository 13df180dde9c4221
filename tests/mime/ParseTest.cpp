// Parsing: header blocks, fields, multipart bodies, encapsulated messages, the depth limit, and the
// appointment converter's use (parse, add a part, assemble again).

#include <gtest/gtest.h>

#include "mime/Mime.h"

namespace {

using namespace std::string_literals;

std::unique_ptr<mimepp::Message> Parsed(const std::string& text) {
    auto message = std::make_unique<mimepp::Message>();
    message->FromString(text);
    message->Parse();
    return message;
}

std::vector<std::pair<std::string, std::string>> Fields(const mimepp::Headers& headers) {
    std::vector<std::pair<std::string, std::string>> fields;
    for (size_t i = 0; i < headers.NumFields(); ++i) {
        mimepp::Field& field = headers.FieldAt(i);
        fields.emplace_back(field.FieldName().Str(), field.FieldBody().AsString().Str());
    }
    return fields;
}

TEST(ParseEntity, SplitsHeadersFromBodyAtTheFirstEmptyLine) {
    struct Case {
        std::string text;
        std::vector<std::pair<std::string, std::string>> fields;
        std::string body;
    } cases[] = {
        {"A: 1\r\nB: 2\r\n\r\nbody\r\n\r\nmore", {{"A", "1"}, {"B", "2"}}, "body\r\n\r\nmore"},
        {"A: 1\nB:2\n\nbody", {{"A", "1"}, {"B", "2"}}, "body"},
        {"Subject: folded\r\n  over\r\n\tlines\r\nX: y\r\n\r\n",
         {{"Subject", "folded\r\n  over\r\n\tlines"}, {"X", "y"}},
         ""},
        {"\r\nno headers", {}, "no headers"},
        {"A: only headers, no empty line", {{"A", "only headers, no empty line"}}, ""},
        {"Name With Space: x\r\n leading: y\r\nno colon\r\n: empty name\r\nOk : z\r\n\r\n",
         {{"", "x\r\n leading: y"}, {"", ""}, {"", "empty name"}, {"Ok", "z"}},
         ""},
        {"A: 1\r\n   \r\nB: 2\r\n\r\n", {{"A", "1"}, {"B", "2"}}, ""},
    };
    for (const Case& c : cases) {
        auto message = Parsed(c.text);
        EXPECT_EQ(Fields(message->Headers()), c.fields) << c.text;
        EXPECT_EQ(message->Body().AsString(), c.body) << c.text;
        message->Assemble();
        EXPECT_EQ(message->AsString(), c.text) << "an unchanged tree keeps its exact bytes";
    }
}

std::vector<std::string> PartTexts(const mimepp::Body& body) {
    std::vector<std::string> texts;
    for (size_t i = 0; i < body.NumBodyParts(); ++i) {
        texts.push_back(body.BodyPartAt(i).AsString().Str());
    }
    return texts;
}

TEST(ParseMultipart, SplitsAtDelimiterLinesOnly) {
    struct Case {
        std::string body;
        std::string preamble;
        std::vector<std::string> parts;
        std::string epilogue;
    } cases[] = {
        {"pre\r\n--b\r\nA: 1\r\n\r\none\r\n--b\r\n\r\ntwo\r\n--b--\r\nepi\r\n",
         "pre",
         {"A: 1\r\n\r\none", "\r\ntwo"},
         "epi\r\n"},
        {"--b\npart\n--b--\n", "", {"part"}, ""},
        {"--b \t\r\npadded\r\n--b--", "", {"padded"}, ""},
        {"--b\r\n--b\r\n\r\nx\r\n--b--\r\n", "", {"", "\r\nx"}, ""},
        {"--b\r\n--bb\r\n--b-\r\n x--b\r\n--b--trailer\r\nafter", "", {"--bb\r\n--b-\r\n x--b"}, "after"},
        {"--b\r\nno closing delimiter\r\n", "", {"no closing delimiter\r\n"}, ""},
        {"no delimiter at all", "no delimiter at all", {}, ""},
    };
    for (const Case& c : cases) {
        auto message = Parsed("Content-Type: multipart/mixed; boundary=b\r\n\r\n" + c.body);
        const mimepp::Body& body = message->Body();
        EXPECT_EQ(body.Preamble(), c.preamble) << c.body;
        EXPECT_EQ(PartTexts(body), c.parts) << c.body;
        EXPECT_EQ(body.Epilogue(), c.epilogue) << c.body;
    }
}

TEST(ParseMultipart, ReadsNestedPartsAndEncapsulatedMessages) {
    std::string text =
        "Content-Type: multipart/mixed; boundary=\"outer\"\r\n\r\n"
        "--outer\r\n"
        "Content-Type: multipart/alternative; boundary=inner\r\n\r\n"
        "--inner\r\nContent-Type: text/plain\r\n\r\nplain\r\n"
        "--inner\r\nContent-Type: text/html\r\n\r\n<p>html</p>\r\n"
        "--inner--\r\n"
        "--outer\r\n"
        "Content-Type: message/RFC822\r\n\r\n"
        "Subject: inner message\r\nContent-Type: text/plain\r\n\r\ninner body\r\n"
        "--outer--\r\n";
    auto message = Parsed(text);
    mimepp::Body& body = message->Body();
    ASSERT_EQ(body.NumBodyParts(), 2u);
    mimepp::Body& alternative = body.BodyPartAt(0).Body();
    ASSERT_EQ(alternative.NumBodyParts(), 2u);
    EXPECT_EQ(alternative.BodyPartAt(1).Headers().ContentType().Subtype(), "html");
    EXPECT_EQ(alternative.BodyPartAt(1).Body().AsString(), "<p>html</p>");
    mimepp::Message* inner = body.BodyPartAt(1).Body().Message();
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->Headers().Subject().DecodedText(), "inner message");
    EXPECT_EQ(inner->Body().AsString(), "inner body");
}

std::string Nested(int depth) {
    if (depth == 0) {
        return "Content-Type: text/plain\r\n\r\nleaf\r\n";
    }
    std::string boundary = "b" + std::to_string(depth);
    return "Content-Type: multipart/mixed; boundary=" + boundary + "\r\n\r\n--" + boundary + "\r\n" +
           Nested(depth - 1) + "\r\n--" + boundary + "--\r\n";
}

TEST(ParseMultipart, StopsParsingBelowLevelFiveAndKeepsTheDeeperText) {
    std::string text = Nested(9);
    auto message = Parsed(text);
    mimepp::Entity* entity = message.get();
    int parsedLevels = 0;
    while (entity->Body().NumBodyParts() == 1) {
        entity = &entity->Body().BodyPartAt(0);
        ++parsedLevels;
    }
    // Levels 0 to 5 are parsed; the level 6 part was cut out but keeps its text unparsed.
    EXPECT_EQ(parsedLevels, 6);
    EXPECT_EQ(entity->Headers().NumFields(), 0u);
    EXPECT_EQ(entity->AsString(), Nested(3));

    message->Headers().FieldBodyByName("X-Touched").FromString("yes");
    message->Body().BodyPartAt(0).Headers().FieldBodyByName("X-Touched").FromString("too");
    message->Assemble();
    EXPECT_NE(message->AsString().Str().find(Nested(3)), std::string::npos)
        << "the deep text survives reassembly";
}

TEST(ParseAndAddPart, KeepsTheParsedPartsByteForByte) {
    // Odd but valid formatting that a rebuild from the parts would change.
    std::string text =
        "MIME-Version: 1.0\nContent-Type: multipart/mixed;\n\tboundary=\"xyz\"\n\n"
        "preamble\n--xyz\nContent-Type:   text/calendar;  method=REQUEST\n\nBEGIN:VCALENDAR\nEND:VCALENDAR\n"
        "--xyz\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n"
        "Content-Disposition: attachment;   filename=\"a.bin\"\n\nAAEC\n--xyz--\n";
    auto message = Parsed(text);
    ASSERT_EQ(message->Body().NumBodyParts(), 2u);
    auto part = std::make_unique<mimepp::BodyPart>();
    part->Headers().ContentType().SetText("text/plain");
    std::string added = "added text\n";
    Tarvik::MAPI::Util::AddBodyToPart(*part, added.data(), added.size(), true);
    message->Body().AddBodyPart(std::move(part));
    message->Assemble();
    EXPECT_EQ(message->AsString(),
              "MIME-Version: 1.0\nContent-Type: multipart/mixed;\n\tboundary=\"xyz\"\n\r\n"
              "preamble\r\n--xyz\r\nContent-Type:   text/calendar;  "
              "method=REQUEST\n\nBEGIN:VCALENDAR\nEND:VCALENDAR"
              "\r\n--xyz\r\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n"
              "Content-Disposition: attachment;   filename=\"a.bin\"\n\nAAEC"
              "\r\n--xyz\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n\r\nadded text\r\n"
              "\r\n--xyz--\r\n");
    EXPECT_EQ(mimepp::Base64Decode(message->Body().BodyPartAt(1).Body().AsString().View()), "\x00\x01\x02"s);
}

}  // namespace
