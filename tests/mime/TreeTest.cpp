// The tree: fields by name, modified flags and lazy reassembly, deep copies.

#include <gtest/gtest.h>

#include "mime/Mime.h"

namespace {

TEST(Headers, FindsFieldsByNameAndCreatesThemAtTheEnd) {
    mimepp::Message message;
    mimepp::Headers& headers = message.Headers();
    headers.FieldBodyByName("Content-Type").FromString("text/plain");
    headers.FieldBodyByName("X-First").FromString("1");
    EXPECT_EQ(&headers.FieldBodyByName("content-TYPE"), &headers.ContentType());
    EXPECT_EQ(headers.HasField("x-missing"), nullptr);
    EXPECT_EQ(headers.NumFields(), 2u);
    headers.FieldBodyByName("x-second").FromString("2");
    headers.FieldBodyByName("X-First").FromString("replaced in place");
    message.Assemble();
    EXPECT_EQ(message.AsString(),
              "Content-Type: text/plain\r\nX-First: replaced in place\r\nx-second: 2\r\n\r\n");

    auto duplicated = std::make_unique<mimepp::Message>();
    duplicated->FromString("X-Dup: first\r\nx-dup: second\r\n\r\n");
    duplicated->Parse();
    EXPECT_EQ(duplicated->Headers().FieldBodyByName("X-DUP").AsString(), "first");
}

TEST(Headers, GiveEachFieldNameItsBodyClass) {
    struct Case {
        const char* name;
        bool (*isExpectedClass)(mimepp::FieldBody&);
    } cases[] = {
        {"To", [](mimepp::FieldBody& b) { return dynamic_cast<mimepp::AddressList*>(&b) != nullptr; }},
        {"resent-reply-to",
         [](mimepp::FieldBody& b) { return dynamic_cast<mimepp::AddressList*>(&b) != nullptr; }},
        {"FROM", [](mimepp::FieldBody& b) { return dynamic_cast<mimepp::MailboxList*>(&b) != nullptr; }},
        {"Return-Path", [](mimepp::FieldBody& b) { return dynamic_cast<mimepp::Mailbox*>(&b) != nullptr; }},
        {"Resent-Date", [](mimepp::FieldBody& b) { return dynamic_cast<mimepp::DateTime*>(&b) != nullptr; }},
        {"Content-ID", [](mimepp::FieldBody& b) { return dynamic_cast<mimepp::MsgId*>(&b) != nullptr; }},
        {"content-disposition",
         [](mimepp::FieldBody& b) { return dynamic_cast<mimepp::DispositionType*>(&b) != nullptr; }},
        {"Content-Transfer-Encoding",
         [](mimepp::FieldBody& b) { return dynamic_cast<mimepp::TransferEncodingType*>(&b) != nullptr; }},
        {"Received", [](mimepp::FieldBody& b) { return dynamic_cast<mimepp::Stamp*>(&b) != nullptr; }},
        {"Subject", [](mimepp::FieldBody& b) { return dynamic_cast<mimepp::Text*>(&b) != nullptr; }},
        {"X-Anything", [](mimepp::FieldBody& b) { return typeid(b) == typeid(mimepp::FieldBody); }},
    };
    mimepp::Headers headers;
    for (const Case& c : cases) {
        EXPECT_TRUE(c.isExpectedClass(headers.FieldBodyByName(c.name))) << c.name;
    }
}

TEST(Tree, ReassemblesOnlyWhatChanged) {
    // The second part's odd spacing and bare LFs would not survive a rebuild from its fields.
    std::string secondPart = "Content-Type:  text/plain;   charset=us-ascii\nX-Odd:   spacing\n\nbody two\n";
    mimepp::Message message;
    message.FromString(
        "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nX-A: 1\r\n\r\nbody one\r\n--b\r\n" +
        secondPart + "\r\n--b--\r\n");
    message.Parse();
    message.Assemble();
    EXPECT_FALSE(message.IsModified());

    mimepp::BodyPart& first = message.Body().BodyPartAt(0);
    first.Headers().FieldBodyByName("X-A").FromString("changed");
    EXPECT_TRUE(message.IsModified());
    EXPECT_TRUE(message.Body().IsModified());
    EXPECT_FALSE(first.Headers().FieldBodyByName("X-A").IsModified())
        << "FromString leaves the value itself clean";
    EXPECT_FALSE(message.Body().BodyPartAt(1).IsModified());
    EXPECT_FALSE(message.Headers().IsModified());

    message.Assemble();
    EXPECT_EQ(
        message.AsString(),
        "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nX-A: changed\r\n\r\nbody one\r\n--b\r\n" +
            secondPart + "\r\n--b--\r\n");
    EXPECT_FALSE(message.IsModified());
    EXPECT_FALSE(first.IsModified());
}

TEST(Tree, ClonesAreDeepAndIndependent) {
    mimepp::Message original;
    original.Headers().From().AddMailbox(std::make_unique<mimepp::Mailbox>()).SetLocalPart("a");
    original.Headers().ContentType().SetText("multipart/mixed; boundary=x");
    mimepp::BodyPart& part = original.Body().AddBodyPart(std::make_unique<mimepp::BodyPart>());
    Tarvik::MAPI::Util::AddBodyToPart(part, "text", 4, false);
    original.Assemble();

    auto copy = mimepp::CloneAs(original);
    EXPECT_EQ(copy->Parent(), nullptr);
    EXPECT_EQ(copy->Body().BodyPartAt(0).Parent(), &copy->Body());
    copy->Headers().From().MailboxAt(0).SetLocalPart("b");
    copy->Body().BodyPartAt(0).Headers().FieldBodyByName("X-Copy").FromString("yes");
    copy->Assemble();
    original.Assemble();
    EXPECT_EQ(original.AsString(),
              "From: <a>\r\nContent-Type: multipart/mixed; boundary=x\r\n\r\n--x\r\n"
              "Content-Transfer-Encoding: 7bit\r\n\r\ntext\r\n--x--\r\n");
    EXPECT_EQ(copy->AsString(),
              "From: <b>\r\nContent-Type: multipart/mixed; boundary=x\r\n\r\n--x\r\n"
              "Content-Transfer-Encoding: 7bit\r\nX-Copy: yes\r\n\r\ntext\r\n--x--\r\n");
}

}  // namespace
