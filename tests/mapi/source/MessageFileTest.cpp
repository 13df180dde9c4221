// A source item saved as an Outlook message file, read back by independent readers: olefile (through
// msgdump.py) and msgconvert.

#include <gtest/gtest.h>

#include "mapi/MessageFile.h"
#include "mapi/MessageIterator.h"
#include "tests/mapi/msgfile/MsgFileTestSupport.h"
#include "tests/mapi/source/SourceFixture.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace Tarvik::MAPI;
using namespace SourceFixture;
namespace fs = std::filesystem;

// Saves the item of `folder` with this subject as `<dir>/<subject>.msg`.
fs::path Save(OpenedPst& pst, const std::string& folder, const std::string& subject, const fs::path& dir) {
    Folder f = FindFolder(pst.store, folder);
    MessageIterator items;
    f.GetMessageIterator(items);
    Message message(pst.session.Get());
    while (items.GetNext(message)) {
        if (message.Property(MessageProp::Subject) &&
            message.Property(MessageProp::Subject)->AsText() == subject) {
            fs::path file = dir / (subject + ".msg");
            EXPECT_EQ(SaveMessageFile(*message.Get(), file), S_OK);
            return file;
        }
    }
    ADD_FAILURE() << "no item " << subject;
    return {};
}

std::string Repeated(const std::string& pattern, size_t size) {
    std::string out;
    while (out.size() < size) {
        out += pattern;
    }
    return out.substr(0, size);
}

TEST(MessageFile, KeepsPropertiesAttachmentsAndEmbeddedMessagesToAnyDepth) {
    ResetJob();
    auto pst = Open(BuildPst("scan"));
    TestSupport::TempDir dir;
    nlohmann::json dump = MsgFileTest::DumpWithOlefile(Save(*pst, "Inbox/Projects", "Nested", dir.Path()));
    EXPECT_EQ(dump["problems"], nlohmann::json::array());
    const auto& message = dump["message"];
    EXPECT_EQ(message["properties"]["0037001F"], "Nested");
    EXPECT_EQ(message["properties"]["10130102"], MsgFileTest::DumpedBinary(Repeated("<p>large</p>", 40000)))
        << "a value too large for GetProps arrives whole";
    ASSERT_EQ(message["attachments"].size(), 2u);
    EXPECT_EQ(message["attachments"][0]["properties"]["37010102"],
              MsgFileTest::DumpedBinary(Repeated("0123456789", 70000)));
    const auto& embedded = message["attachments"][1]["embedded"];
    EXPECT_EQ(embedded["properties"]["0037001F"], "Embedded");
    ASSERT_EQ(embedded["recipients"].size(), 1u);
    EXPECT_EQ(embedded["recipients"][0]["properties"]["3003001F"], "dave@example.com");
    ASSERT_EQ(embedded["attachments"].size(), 1u);
    EXPECT_EQ(embedded["attachments"][0]["properties"]["37010102"], MsgFileTest::DumpedBinary("deepest"));
}

TEST(MessageFile, ReadsAsTheSameMailInMsgconvertWithItsNamedProperties) {
    ResetJob();
    auto pst = Open(BuildPst("scan"));
    TestSupport::TempDir dir;
    nlohmann::json mail = MsgFileTest::ConvertWithMsgconvert(Save(*pst, "Inbox", "Late", dir.Path()));
    EXPECT_EQ(mail["subject"], "Late");
    EXPECT_NE(mail.dump().find("carol@example.com"), std::string::npos) << mail.dump();
    EXPECT_NE(mail.dump().find("late body"), std::string::npos) << mail.dump();

    nlohmann::json early = MsgFileTest::DumpWithOlefile(Save(*pst, "Inbox", "Early", dir.Path()));
    EXPECT_NE(early["named"].dump().find("Keywords"), std::string::npos) << early["named"].dump();
}

}  // namespace
