#include "mapi/platform/MsgFileWriter.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "runtime/Utf8.h"
#include "tests/mapi/msgfile/MsgFileTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace msgfile;
using MsgFileTest::DumpedBinary;
using MsgFileTest::PatternSource;
using nlohmann::json;

constexpr uint32_t PR_MESSAGE_CLASS_W = 0x001A001F;
constexpr uint32_t PR_SUBJECT_W = 0x0037001F;
constexpr uint32_t PR_BODY_W = 0x1000001F;
constexpr uint32_t PR_DISPLAY_TO_W = 0x0E04001F;
constexpr uint32_t PR_DISPLAY_CC_W = 0x0E03001F;
constexpr uint32_t PR_DISPLAY_NAME_W = 0x3001001F;
constexpr uint32_t PR_RECIPIENT_TYPE = 0x0C150003;
constexpr uint32_t PR_ATTACH_METHOD = 0x37050003;
constexpr uint32_t PR_ATTACH_DATA_BIN = 0x37010102;
constexpr uint32_t PR_ATTACH_LONG_FILENAME_W = 0x3707001F;
const Guid kPsetidCommon = Guid::Parse("{00062008-0000-0000-C000-000000000046}");

std::string Hex(uint32_t tag) {
    return fmt::format("{:08X}", tag);
}

MessageContent Mail(const std::string& subject, const std::string& body) {
    MessageContent message;
    message.properties = {
        {PR_MESSAGE_CLASS_W, std::string("IPM.Note")}, {PR_SUBJECT_W, subject}, {PR_BODY_W, body}};
    return message;
}

Recipient Addressee(const std::string& name, const std::string& address, int64_t type = 1) {
    return Recipient{{{PR_DISPLAY_NAME_W, name},
                      {0x3002001F, std::string("SMTP")},
                      {0x3003001F, address},
                      {0x39FE001F, address},
                      {PR_RECIPIENT_TYPE, type}}};
}

Attachment FileAttachment(const std::string& name, PropertyValue data) {
    Attachment attachment;
    attachment.properties = {{PR_ATTACH_METHOD, int64_t{1}},
                             {PR_ATTACH_LONG_FILENAME_W, name},
                             {0x370E001F, std::string("application/octet-stream")},
                             {PR_ATTACH_DATA_BIN, std::move(data)}};
    return attachment;
}

Attachment MessageAttachment(MessageContent message) {
    Attachment attachment;
    attachment.properties = {{PR_ATTACH_METHOD, int64_t{5}}, {0x3001001F, std::string("attached message")}};
    attachment.embeddedMessage = std::make_unique<MessageContent>(std::move(message));
    return attachment;
}

LargeValue Pattern(uint64_t size, uint64_t failAt = UINT64_MAX) {
    return LargeValue{[=] { return std::make_unique<PatternSource>(size, 10000, failAt); }};
}

LargeValue Memory(std::string bytes) {
    auto shared = std::make_shared<std::string>(std::move(bytes));
    return LargeValue{[shared] { return std::make_unique<cfb::MemorySource>(*shared); }};
}

// Writes the message and checks what olefile sees is sound; returns its dump.
json WriteAndDump(const MessageContent& message, const std::filesystem::path& file,
                  const std::vector<SkippedProperty>& expectedSkipped = {}) {
    MsgFileResult result = MsgFileWriter::Write(message, file);
    EXPECT_EQ(result.skipped.size(), expectedSkipped.size());
    for (size_t i = 0; i < std::min(result.skipped.size(), expectedSkipped.size()); ++i) {
        EXPECT_EQ(result.skipped[i].object, expectedSkipped[i].object);
        EXPECT_EQ(Hex(result.skipped[i].tag), Hex(expectedSkipped[i].tag));
        EXPECT_NE(result.skipped[i].reason.find(expectedSkipped[i].reason), std::string::npos)
            << result.skipped[i].reason;
    }
    json dump = MsgFileTest::DumpWithOlefile(file);
    EXPECT_EQ(dump["problems"], json::array());
    EXPECT_EQ(dump["clsid"], "00020D0B-0000-0000-C000-000000000046");
    return dump;
}

TEST(MsgFileWriter, SimpleMailReadsBackInBothReaders) {
    TestSupport::TempDir dir;
    const std::string subject = "Grüße aus Köln – 日本";
    // msgconvert garbles an 8-bit body when the subject is not ASCII: the body stays ASCII here.
    MessageContent message = Mail(subject, "First line\r\nSecond line\r\n");
    message.properties.push_back({PR_DISPLAY_TO_W, std::string("Alice Example; Bob")});
    message.properties.push_back({PR_DISPLAY_CC_W, std::string("Carol")});
    message.properties.push_back({0x0E1D001E, std::string("Köln")});  // 8-bit text is written as Unicode
    message.properties.push_back({0x0E070003, int64_t{0x21}});
    message.recipients.push_back(Addressee("Alice Example", "alice@example.com"));
    message.recipients.push_back(Addressee("Bob", "bob@example.com"));
    message.recipients.push_back(Addressee("Carol", "carol@example.com", 2));

    json dump = WriteAndDump(message, dir / "mail.msg");
    EXPECT_EQ(dump["version"], 3);
    const json& properties = dump["message"]["properties"];
    EXPECT_EQ(dump["message"]["header"], json({{"next_recipient_id", 3},
                                               {"next_attachment_id", 0},
                                               {"recipient_count", 3},
                                               {"attachment_count", 0}}));
    EXPECT_EQ(properties[Hex(PR_SUBJECT_W)], subject);
    EXPECT_EQ(properties["0E1D001F"], "Köln");
    EXPECT_FALSE(properties.contains("0E1D001E"));
    EXPECT_EQ(properties["0E070003"], 0x21);
    EXPECT_EQ(properties["340D0003"].get<int64_t>() & 0x40000, 0x40000) << "Unicode texts must be announced";
    EXPECT_EQ(dump["message"]["recipients"][2]["properties"][Hex(PR_RECIPIENT_TYPE)], 2);

    json eml = MsgFileTest::ConvertWithMsgconvert(dir / "mail.msg");
    EXPECT_EQ(eml["subject"], subject);
    EXPECT_EQ(eml["body"], "First line\nSecond line\n");
    EXPECT_EQ(eml["to"], "Alice Example <alice@example.com>, Bob <bob@example.com>");
    EXPECT_EQ(eml["cc"], "Carol <carol@example.com>");
}

TEST(MsgFileWriter, EveryPropertyTypeIsWritten) {
    const Guid guid = kPsetidCommon;
    const std::string guidText = "00062008-0000-0000-C000-000000000046";
    const std::string longText = [] {
        std::string text;
        for (int i = 0; i < 500; ++i)
            text += "großer Text " + std::to_string(i) + "\n";
        return text;
    }();
    struct Case {
        Property property;
        uint32_t fileTag;
        json expected;
    };
    std::vector<Case> cases;
    auto add = [&](uint32_t tag, PropertyValue value, json expected, uint32_t fileTag = 0) {
        cases.push_back({{tag, std::move(value)}, fileTag ? fileTag : tag, std::move(expected)});
    };
    add(0x66010002, int64_t{-1234}, -1234);
    add(0x66020003, int64_t{0xFFFFFFFF}, -1);  // flags are unsigned in MAPI
    add(0x66030004, 1.5, 1.5);
    add(0x66040005, 2.25, 2.25);
    add(0x66050006, int64_t{123456789012}, 123456789012);
    add(0x66060007, 45000.5, 45000.5);
    add(0x6607000A, int64_t{0x8004010F}, 0x8004010F);
    add(0x6608000B, true, true);
    add(0x66090014, int64_t{-5}, -5);
    add(0x660A0040, int64_t{133000000000000000}, 133000000000000000);
    add(0x660B0048, guid, guidText);
    add(0x660C0102, std::string("\x00\x01\xFF", 3), "0001ff");
    add(0x660D001F, std::string(), "");
    add(0x660E00FB, std::string("\x01\x02"), "0102");
    add(0x660F1002, std::vector<int64_t>{1, -2}, {1, -2});
    add(0x66101003, std::vector<int64_t>{7, 8, 9}, {7, 8, 9});
    add(0x66111004, std::vector<double>{0.5}, {0.5});
    add(0x66121005, std::vector<double>{1.25, -3.5}, {1.25, -3.5});
    add(0x66131006, std::vector<int64_t>{10}, {10});
    add(0x66141007, std::vector<double>{2.0}, {2.0});
    add(0x66151014, std::vector<int64_t>{int64_t{1} << 40}, {int64_t{1} << 40});
    add(0x66161040, std::vector<int64_t>{1, 2}, {1, 2});
    add(0x66171048, std::vector<Guid>{guid, kPsMapi}, {guidText, "00020328-0000-0000-C000-000000000046"});
    add(0x6618101F, std::vector<std::string>{"eins", "", "drei ü"}, {"eins", "", "drei ü"});
    add(0x6619101E, std::vector<std::string>{"a"}, {"a"}, 0x6619101F);
    add(0x661A1102, std::vector<std::string>{"\x01\x02", ""}, {"0102", ""});
    add(0x661B1003, std::vector<int64_t>{}, json::array());
    add(0x661C001F, Memory(Utf8::ToUtf16LE(longText)), longText);
    add(0x661D0102, Pattern(5000), DumpedBinary(PatternSource::Bytes(5000)));

    MessageContent message = Mail("types", "body");
    for (const Case& c : cases)
        message.properties.push_back(c.property);
    TestSupport::TempDir dir;
    json dump = WriteAndDump(message, dir / "types.msg");
    const json& properties = dump["message"]["properties"];
    for (const Case& c : cases) {
        SCOPED_TRACE(Hex(c.property.tag));
        EXPECT_EQ(properties[Hex(c.fileTag)], c.expected);
    }
}

TEST(MsgFileWriter, NamedPropertiesGetTheFilesIdsEverywhere) {
    const Guid custom = Guid::Parse("{12345678-9ABC-DEF0-1122-334455667788}");
    MessageContent message = Mail("named", "body");
    message.namedProperties = {
        {0x8501, {kPsetidCommon, uint32_t{0x8501}}},
        {0x8502, {kPsPublicStrings, std::string("Keywords")}},
        {0x8503, {Guid::Parse("{00062002-0000-0000-C000-000000000046}"), uint32_t{0x8216}}},
        {0x8504, {custom, std::string("X-Custom-Header")}},
        {0x8505, {kPsMapi, uint32_t{0x0037}}}};
    message.properties.push_back({0x8502101F, std::vector<std::string>{"red", "blue"}});
    message.properties.push_back({0x8501000B, true});
    message.properties.push_back({0x8505001F, std::string("mapi-set")});
    message.recipients.push_back(Addressee("Alice", "alice@example.com"));
    message.recipients[0].properties.push_back({0x8504001F, std::string("recipient header")});
    Attachment file = FileAttachment("a.txt", std::string("text"));
    file.properties.push_back({0x85030102, std::string("\x02\x01")});
    message.attachments.push_back(std::move(file));
    MessageContent inner = Mail("inner", "inner body");
    inner.namedProperties = {{0x8600, {kPsetidCommon, uint32_t{0x8580}}}};
    inner.properties.push_back({0x8600001F, std::string("embedded only")});
    inner.properties.push_back({0x8501000B, false});  // named through the enclosing message
    message.attachments.push_back(MessageAttachment(std::move(inner)));

    TestSupport::TempDir dir;
    json dump = WriteAndDump(message, dir / "named.msg");
    const json& named = dump["named"];
    ASSERT_EQ(named.size(), 6u) << named;
    auto fileTag = [&](const json& name, uint16_t type) {
        for (size_t i = 0; i < named.size(); ++i) {
            if (named[i] == name)
                return Hex(static_cast<uint32_t>((0x8000 + i) << 16 | type));
        }
        ADD_FAILURE() << "no file id for " << name;
        return std::string();
    };
    const json& top = dump["message"];
    EXPECT_EQ(top["properties"]
                 [fileTag({{"guid", "00020329-0000-0000-C000-000000000046"}, {"name", "Keywords"}}, 0x101F)],
              json({"red", "blue"}));
    EXPECT_EQ(top["properties"]
                 [fileTag({{"guid", "00062008-0000-0000-C000-000000000046"}, {"lid", 0x8501}}, 0x000B)],
              true);
    EXPECT_EQ(
        top["properties"][fileTag({{"guid", "00020328-0000-0000-C000-000000000046"}, {"lid", 0x37}}, 0x001F)],
        "mapi-set");
    EXPECT_EQ(top["recipients"][0]["properties"][fileTag(
                  {{"guid", "12345678-9ABC-DEF0-1122-334455667788"}, {"name", "X-Custom-Header"}}, 0x001F)],
              "recipient header");
    EXPECT_EQ(top["attachments"][0]["properties"]
                 [fileTag({{"guid", "00062002-0000-0000-C000-000000000046"}, {"lid", 0x8216}}, 0x0102)],
              "0201");
    const json& embedded = top["attachments"][1]["embedded"]["properties"];
    EXPECT_EQ(embedded[fileTag({{"guid", "00062008-0000-0000-C000-000000000046"}, {"lid", 0x8580}}, 0x001F)],
              "embedded only");
    EXPECT_EQ(embedded[fileTag({{"guid", "00062008-0000-0000-C000-000000000046"}, {"lid", 0x8501}}, 0x000B)],
              false);
}

TEST(MsgFileWriter, RecipientsAndAttachmentsOfEverySizeAreKept) {
    MessageContent message = Mail("many", "see attachments");
    for (int i = 0; i < 300; ++i) {
        std::string name = "Recipient " + std::to_string(i);
        message.recipients.push_back(Addressee(name, "r" + std::to_string(i) + "@example.com"));
    }
    message.properties.push_back({PR_DISPLAY_TO_W, std::string("Recipient 0; Recipient 299")});
    const uint64_t largeSize = 1'000'000;  // needs many FAT sectors
    message.attachments.push_back(FileAttachment("small.txt", PatternSource::Bytes(100)));
    message.attachments.push_back(FileAttachment("over-cutoff.bin", PatternSource::Bytes(5000)));
    message.attachments.push_back(FileAttachment("large.bin", Pattern(largeSize)));
    message.attachments.push_back(FileAttachment("empty.bin", std::string()));

    TestSupport::TempDir dir;
    json dump = WriteAndDump(message, dir / "many.msg");
    ASSERT_EQ(dump["message"]["recipients"].size(), 300u);
    EXPECT_EQ(dump["message"]["recipients"][299]["properties"][Hex(PR_DISPLAY_NAME_W)], "Recipient 299");
    EXPECT_EQ(dump["message"]["attachments"][2]["properties"][Hex(PR_ATTACH_DATA_BIN)],
              DumpedBinary(PatternSource::Bytes(largeSize)));

    json eml = MsgFileTest::ConvertWithMsgconvert(dir / "many.msg");
    EXPECT_EQ(eml["to"], "Recipient 0 <r0@example.com>, Recipient 299 <r299@example.com>");
    json expected = json::array();
    for (auto [name, size] : std::vector<std::pair<std::string, uint64_t>>{
             {"small.txt", 100}, {"over-cutoff.bin", 5000}, {"large.bin", largeSize}, {"empty.bin", 0}}) {
        expected.push_back(
            {{"name", name}, {"size", size}, {"sha256", MsgFileTest::Sha256(PatternSource::Bytes(size))}});
    }
    EXPECT_EQ(eml["attachments"], expected);
}

TEST(MsgFileWriter, EmbeddedMessagesNestTwoLevelsDeep) {
    MessageContent innermost = Mail("Inner", "the innermost body");
    MessageContent middle = Mail("Middle", "the middle body");
    middle.recipients.push_back(Addressee("Dave", "dave@example.com"));
    middle.attachments.push_back(FileAttachment("inner-note.txt", std::string("note")));
    middle.attachments.push_back(MessageAttachment(std::move(innermost)));
    MessageContent outer = Mail("Outer", "the outer body");
    outer.attachments.push_back(MessageAttachment(std::move(middle)));

    TestSupport::TempDir dir;
    json dump = WriteAndDump(outer, dir / "nested.msg");
    const json& attachment = dump["message"]["attachments"][0];
    EXPECT_EQ(attachment["properties"]["3701000D"], json({{"object", true}}));
    const json& middleDump = attachment["embedded"];
    EXPECT_EQ(middleDump["clsid"], "00020D0B-0000-0000-C000-000000000046");
    EXPECT_EQ(middleDump["header"], json({{"next_recipient_id", 1},
                                          {"next_attachment_id", 2},
                                          {"recipient_count", 1},
                                          {"attachment_count", 2}}));
    EXPECT_EQ(middleDump["recipients"][0]["properties"][Hex(PR_DISPLAY_NAME_W)], "Dave");
    EXPECT_EQ(middleDump["attachments"][1]["embedded"]["properties"][Hex(PR_BODY_W)], "the innermost body");

    json eml = MsgFileTest::ConvertWithMsgconvert(dir / "nested.msg");
    ASSERT_EQ(eml["attachments"].size(), 1u) << eml;
    const json& middleEml = eml["attachments"][0]["message"];
    EXPECT_EQ(middleEml["subject"], "Middle");
    EXPECT_EQ(middleEml["body"], "the middle body");
    ASSERT_EQ(middleEml["attachments"].size(), 2u) << middleEml;
    EXPECT_EQ(middleEml["attachments"][0]["name"], "inner-note.txt");
    EXPECT_EQ(middleEml["attachments"][1]["message"]["subject"], "Inner");
}

// What the file cannot hold is listed and left out; everything else is still written.
TEST(MsgFileWriter, PropertiesTheFileCannotHoldAreListedAndTheRestKept) {
    auto badProperties = [] {
        return PropertyList{
            {0x67010002, int64_t{70000}},
            {0x67020003, std::string("text for a number")},
            {0x67030001, true},
            {0x6704000D, std::string("object bytes")},
            {0x6705100B, std::vector<int64_t>{1}},
            {0x8123001F, std::string("no name known")},
            {0x67060102,
             LargeValue{[]() -> std::unique_ptr<cfb::ByteSource> { throw std::runtime_error("gone"); }}},
            {0x67070102, LargeValue{[] { return std::unique_ptr<cfb::ByteSource>(); }}},
            {0x6708001E, Memory("8-bit bytes")},
            {0x0037001E, std::string("a second subject")},
        };
    };
    auto expectedFor = [](const std::string& object) {
        return std::vector<SkippedProperty>{
            {object, 0x67010002, "does not fit"},
            {object, 0x67020003, "not of the kind"},
            {object, 0x67030001, "no room for type 0001"},
            {object, 0x6704000D, "only as embedded messages"},
            {object, 0x6705100B, "no room for type 100B"},
            {object, 0x8123001F, "has no name"},
            {object, 0x67060102, "cannot be read: gone"},
            {object, 0x67070102, "cannot be read"},
            {object, 0x6708001E, "must be given as Unicode"},
            {object, 0x0037001E, "already has a value"},
        };
    };
    MessageContent message = Mail("kept", "kept body");
    Recipient recipient = Addressee("Alice", "alice@example.com");
    recipient.properties.push_back({PR_SUBJECT_W, std::string("recipient subject")});
    for (Property& property : badProperties())
        recipient.properties.push_back(std::move(property));
    message.recipients.push_back(std::move(recipient));
    MessageContent inner = Mail("inner kept", "inner body");
    for (Property& property : badProperties())
        inner.properties.push_back(std::move(property));
    message.attachments.push_back(MessageAttachment(std::move(inner)));
    for (Property& property : badProperties())
        message.properties.push_back(std::move(property));

    std::vector<SkippedProperty> expected;
    for (const char* object : {"recipient 0", "attachment 0/message", "message"}) {
        for (SkippedProperty& skipped : expectedFor(object))
            expected.push_back(std::move(skipped));
    }
    TestSupport::TempDir dir;
    json dump = WriteAndDump(message, dir / "partial.msg", expected);
    EXPECT_EQ(dump["message"]["properties"][Hex(PR_SUBJECT_W)], "kept");
    EXPECT_EQ(dump["message"]["properties"][Hex(PR_BODY_W)], "kept body");
    EXPECT_EQ(dump["message"]["recipients"][0]["properties"][Hex(PR_SUBJECT_W)], "recipient subject");
    EXPECT_EQ(dump["message"]["attachments"][0]["embedded"]["properties"][Hex(PR_SUBJECT_W)], "inner kept");
    EXPECT_EQ(dump["named"], json::array());
}

TEST(MsgFileWriter, SourceThatBreaksOffFailsTheCopyAndLeavesNoFile) {
    MessageContent message = Mail("broken", "body");
    message.attachments.push_back(FileAttachment("broken.bin", Pattern(100000, 50000)));
    TestSupport::TempDir dir;
    EXPECT_THROW(MsgFileWriter::Write(message, dir / "broken.msg"), std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

}  // namespace
