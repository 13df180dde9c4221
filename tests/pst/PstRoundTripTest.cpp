// Files written by the PST writer (through pstgen descriptions) read back with the reader: every
// format and encryption, every kind of value, tables large enough to need subnodes and multi-page
// heaps, attachments and embedded messages.

#include <gtest/gtest.h>

#include "pst/PropTags.h"
#include "pst/PstFile.h"
#include "tests/pst/PstTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tools/Description.h"

namespace {

using nlohmann::json;
using pst::MakeTag;
using pst::TagId;
namespace Tag = pst::Tag;
namespace PropType = pst::PropType;

struct Variant {
    const char* format;
    const char* encryption;
};

void PrintTo(const Variant& v, std::ostream* out) {
    *out << v.format << "/" << v.encryption;
}

class FixtureMailbox : public ::testing::TestWithParam<Variant> {
  protected:
    void SetUp() override {
        json d = PstTest::LoadFixture("mailbox.json");
        d["format"] = GetParam().format;
        d["encryption"] = GetParam().encryption;
        path_ = dir_ / "fixture.pst";
        PstTest::Build(d, path_);
        file_ = std::make_unique<pst::PstFile>(path_.string());
    }

    uint32_t FolderNamed(uint32_t parent, const std::string& name) {
        auto table = file_->OpenFolder(parent).HierarchyTable();
        for (size_t i = 0; table && i < table->RowCount(); ++i) {
            auto row = table->ReadRow(i);
            if (row.Find(Tag::DisplayName) && row.Find(Tag::DisplayName)->AsText() == name) {
                return row.rowId;
            }
        }
        ADD_FAILURE() << "no folder " << name;
        return 0;
    }

    // The message of `folder` whose subject is `subject`.
    pst::Message MessageWithSubject(uint32_t folder, const std::string& subject) {
        auto table = file_->OpenFolder(folder).ContentsTable();
        for (size_t i = 0; table && i < table->RowCount(); ++i) {
            auto row = table->ReadRow(i);
            if (row.Find(Tag::Subject) && row.Find(Tag::Subject)->AsText() == subject) {
                return file_->OpenMessage(row.rowId);
            }
        }
        throw std::runtime_error("no message " + subject);
    }

    uint32_t Inbox() { return FolderNamed(*file_->IpmSubtreeNid(), "Inbox"); }

    TestSupport::TempDir dir_;
    std::filesystem::path path_;
    std::unique_ptr<pst::PstFile> file_;
};

TEST_P(FixtureMailbox, FolderTreeItemCountsAndHeaderFacts) {
    const auto& h = file_->GetHeader();
    EXPECT_EQ(h.format,
              std::string(GetParam().format) == "unicode" ? pst::Format::Unicode : pst::Format::Unicode4K);
    EXPECT_EQ(pst::EncryptionName(h.encryption), GetParam().encryption);
    EXPECT_EQ(h.clientMagic, "SM");
    EXPECT_FALSE(file_->PasswordCrc());

    PstTest::WalkResult walk = PstTest::WalkEverything(*file_);
    EXPECT_TRUE(walk.problems.empty()) << walk.problems.front();
    const std::map<std::string, size_t> expected = {
        {"", 0},
        {"/Top of Personal Folders", 0},
        {"/Top of Personal Folders/Inbox", 4},
        {"/Top of Personal Folders/Inbox/Projects", 1},
        {"/Top of Personal Folders/Inbox/Projects/Archive 2023", 1},
        {"/Top of Personal Folders/Sent Items", 1},
        {"/Top of Personal Folders/Calendar", 2},
        {"/Top of Personal Folders/Contacts", 2},
        {"/Top of Personal Folders/Tasks", 1},
        {"/Top of Personal Folders/Deleted Items", 0},
        {"/Top of Personal Folders/Outbox", 0},
        {"/Top of Personal Folders/Drafts", 0},
        {"/Top of Personal Folders/Junk E-mail", 0},
        {"/Search Root", 0}};
    EXPECT_EQ(walk.items, expected);
    EXPECT_EQ(walk.searchFolders, 1u);
    EXPECT_EQ(walk.messages, 12u + 2u);  // two of them embedded
    EXPECT_EQ(walk.attachments, 5u);

    pst::Folder inbox = file_->OpenFolder(Inbox());
    ASSERT_TRUE(inbox.AssociatedContentsTable());
    EXPECT_EQ(inbox.AssociatedContentsTable()->RowCount(), 1u);
    EXPECT_EQ(inbox.Properties().Get(Tag::ContentUnreadCount)->AsInt32(), 1);
    EXPECT_EQ(inbox.Properties().Get(Tag::ContainerClass)->AsText(), "IPF.Note");
    uint32_t search = FolderNamed(*file_->IpmSubtreeNid(), "Saved search");
    EXPECT_TRUE(file_->OpenFolder(search).IsSearchFolder());
    EXPECT_FALSE(file_->OpenFolder(search).ContentsTable());
}

TEST_P(FixtureMailbox, PropertiesOfEveryKindReadBack) {
    pst::Message m = MessageWithSubject(Inbox(), "Quarterly report");
    const auto& p = m.Properties();
    EXPECT_EQ(p.Get(Tag::MessageClass)->AsText(), "IPM.Note");
    EXPECT_EQ(p.Get(Tag::Body)->AsText(), "Hello Bob,\r\nthe report is attached.\r\n");
    EXPECT_EQ(p.Get(Tag::Importance)->AsInt32(), 2);
    EXPECT_EQ(pst::FileTimeToIso(p.Get(Tag::ClientSubmitTime)->AsInt64()), "2024-03-01T10:00:00Z");
    EXPECT_EQ(p.Get(MakeTag(0x007D, PropType::String8))->AsText(), "Received: from mx.example.com\r\n");
    EXPECT_EQ(p.Get(MakeTag(0x6600, PropType::Long))->AsInt32(), 1234);
    auto html = p.Get(MakeTag(0x1013, PropType::Binary));
    EXPECT_EQ(std::string(html->Raw().begin(), html->Raw().end()),
              "<html><body><p>Hello Bob,</p></body></html>");
    const int32_t flags = p.Get(Tag::MessageFlags)->AsInt32();
    EXPECT_EQ(flags & 0x1, 0) << "unread";
    EXPECT_EQ(flags & 0x10, 0x10) << "has attachments";
    EXPECT_TRUE(p.Get(Tag::HasAttachments)->AsBool());
    EXPECT_FALSE(p.Get(MakeTag(TagId(Tag::Subject), PropType::String8))) << "a type mismatch is not a value";
    EXPECT_TRUE(p.Get(MakeTag(TagId(Tag::Subject), PropType::Unspecified)));

    const pst::NameMap& names = file_->Names();
    auto keywords = names.Find(pst::kPsPublicStrings, "Keywords");
    ASSERT_TRUE(keywords);
    EXPECT_EQ(p.Get(MakeTag(*keywords, PropType::Unicode | PropType::MultiValued))->AsTextList(),
              (std::vector<std::string>{"Red category", "Blue category"}));
    auto common = names.Find(pst::Guid::Parse("{00062008-0000-0000-C000-000000000046}"), 0x8580);
    ASSERT_TRUE(common);
    EXPECT_EQ(p.Get(MakeTag(*common, PropType::Unicode))->AsText(), "named by number");
    auto own = names.Find(pst::Guid::Parse("{20022104-6842-430D-B19C-8739BFDB9188}"), 0x8100);
    ASSERT_TRUE(own);
    EXPECT_EQ(p.Get(MakeTag(*own, PropType::Long))->AsInt32(), 7);
    ASSERT_NE(names.ById(*own), nullptr);
    EXPECT_EQ(names.ById(*own)->number, 0x8100u);

    // Contents table rows carry the standard columns, search key included.
    auto contents = file_->OpenFolder(Inbox()).ContentsTable();
    auto row = contents->ReadRow(0, nullptr);
    EXPECT_TRUE(row.Find(Tag::SearchKey));
    EXPECT_TRUE(row.Find(Tag::MessageClass));
}

TEST_P(FixtureMailbox, RecipientsAttachmentsAndEmbeddedMessages) {
    pst::Message m = MessageWithSubject(Inbox(), "Quarterly report");
    auto recipients = m.RecipientTable();
    ASSERT_TRUE(recipients);
    ASSERT_EQ(recipients->RowCount(), 2u);
    auto bob = recipients->ReadRow(0);
    EXPECT_EQ(bob.Find(Tag::DisplayName)->AsText(), "Bob Example");
    EXPECT_EQ(bob.Find(Tag::EmailAddress)->AsText(), "bob@example.com");
    EXPECT_EQ(bob.Find(Tag::RecipientType)->AsInt32(), 1);
    EXPECT_EQ(recipients->ReadRow(1).Find(Tag::RecipientType)->AsInt32(), 2);
    EXPECT_EQ(m.Properties().Get(Tag::DisplayTo)->AsText(), "Bob Example");

    auto attachments = m.AttachmentTable();
    ASSERT_TRUE(attachments);
    ASSERT_EQ(attachments->RowCount(), 3u);
    pst::Attachment report = m.OpenAttachment(attachments->RowId(0));
    EXPECT_EQ(report.Method(), 1);
    EXPECT_EQ(report.Properties().Get(Tag::AttachLongFilename)->AsText(), "report.bin");
    auto stream = report.OpenData();
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->Size(), 20000u);
    stream->Seek(12345);
    uint8_t b[3];
    ASSERT_EQ(stream->Read(b, 3), 3u);
    EXPECT_EQ(std::string(b, b + 3), "567");
    stream->Seek(0);
    pst::Bytes all = stream->ReadRest();
    ASSERT_EQ(all.size(), 20000u);
    EXPECT_EQ(all[19999], '9');
    pst::Attachment note = m.OpenAttachment(attachments->RowId(1));
    EXPECT_EQ(
        note.OpenData()->ReadRest(),
        (pst::Bytes{'P', 'l', 'a', 'i', 'n', ' ', 't', 'e', 'x', 't', ' ', 'a', 't', 't', 'a', 'c', 'h', 'm',
                    'e', 'n', 't', ' ', 'f', 'r', 'o', 'm', ' ', 'a', ' ', 'f', 'i', 'l', 'e', '.', '\n'}));
    pst::Attachment logo = m.OpenAttachment(attachments->RowId(2));
    EXPECT_EQ(logo.Properties().Get(Tag::AttachContentId)->AsText(), "logo@example");
    EXPECT_EQ(logo.OpenData()->Size(), 8u);

    pst::Message fwd = MessageWithSubject(Inbox(), "Forwarded with an embedded message");
    pst::Attachment outer = fwd.OpenAttachment(fwd.AttachmentTable()->RowId(0));
    EXPECT_EQ(outer.Method(), 5);
    ASSERT_TRUE(outer.HasEmbeddedMessage());
    EXPECT_FALSE(outer.OpenData());
    pst::Message original = outer.OpenEmbeddedMessage();
    EXPECT_EQ(original.Properties().Get(Tag::Subject)->AsText(), "Original message");
    EXPECT_EQ(original.RecipientTable()->ReadRow(0).Find(Tag::EmailAddress)->AsText(), "dave@example.com");
    pst::Message nested = original.OpenAttachment(original.AttachmentTable()->RowId(0)).OpenEmbeddedMessage();
    EXPECT_EQ(nested.Properties().Get(Tag::Body)->AsText(), "Deepest.");
}

TEST_P(FixtureMailbox, LargeValuesComeFromSubnodesAndStreams) {
    pst::Message m = MessageWithSubject(Inbox(), "Large body");
    const auto* entry = m.Properties().Find(0x6602);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(m.Properties().Size(*entry), 50000u);
    auto value = m.Properties().Get(MakeTag(0x6602, PropType::Binary));
    ASSERT_TRUE(value);
    EXPECT_EQ(value->Raw().size(), 50000u);
    EXPECT_EQ(std::string(value->Raw().begin() + 19, value->Raw().begin() + 25), "large ");
    EXPECT_THROW(m.Properties().Get(MakeTag(0x6602, PropType::Binary), 1000), pst::Error)
        << "values above the caller's limit are refused, not truncated";
    auto stream = m.Properties().OpenStream(*entry);
    stream->Seek(49990);
    EXPECT_EQ(stream->ReadRest().size(), 10u);
}

TEST_P(FixtureMailbox, StoreEntryIdsLeadToTheSpecialFolders) {
    const auto& store = file_->StoreProperties();
    EXPECT_EQ(store.Get(Tag::DisplayName)->AsText(), "Fixture mailbox");
    auto nidOf = [&](const pst::PropertyContext& pc, uint32_t tag) {
        auto v = pc.Get(tag);
        return v ? file_->NidOfEntryId(v->Raw()) : std::nullopt;
    };
    uint32_t top = *file_->IpmSubtreeNid();
    EXPECT_EQ(file_->OpenFolder(top).DisplayName(), "Top of Personal Folders");
    EXPECT_EQ(file_->OpenFolder(*nidOf(store, Tag::IpmWastebasketEntryId)).DisplayName(), "Deleted Items");
    EXPECT_EQ(file_->OpenFolder(*nidOf(store, Tag::IpmSentMailEntryId)).DisplayName(), "Sent Items");
    EXPECT_EQ(file_->OpenFolder(*nidOf(store, Tag::IpmOutboxEntryId)).DisplayName(), "Outbox");
    EXPECT_EQ(file_->OpenFolder(*nidOf(store, Tag::FinderEntryId)).DisplayName(), "Search Root");
    pst::Folder inbox = file_->OpenFolder(Inbox());
    EXPECT_EQ(file_->OpenFolder(*nidOf(inbox.Properties(), Tag::IpmAppointmentEntryId)).DisplayName(),
              "Calendar");
    EXPECT_EQ(file_->OpenFolder(*nidOf(inbox.Properties(), Tag::IpmContactEntryId)).DisplayName(),
              "Contacts");
    EXPECT_EQ(file_->OpenFolder(*nidOf(inbox.Properties(), Tag::IpmTaskEntryId)).DisplayName(), "Tasks");
    EXPECT_EQ(file_->OpenFolder(*nidOf(inbox.Properties(), Tag::IpmDraftsEntryId)).DisplayName(), "Drafts");
    auto ren = inbox.Properties().Get(Tag::AdditionalRenEntryIds);
    ASSERT_TRUE(ren);
    ASSERT_EQ(ren->Count(), 5u);
    EXPECT_EQ(file_->OpenFolder(*file_->NidOfEntryId(ren->Element(4))).DisplayName(), "Junk E-mail");

    EXPECT_EQ(file_->ReceiveFolderNid(), Inbox());
    EXPECT_EQ(file_->ReceiveFolderNid("IPM.Note.Custom"), Inbox()) << "falls back to IPM";
    EXPECT_EQ(file_->ReceiveFolderNid("IPC.Something"), file_->RootFolderNid());
    EXPECT_EQ(file_->ReceiveFolderNid("IPMX"), Inbox()) << "IPMX is not under IPM: the default";

    pst::Bytes id = file_->EntryIdOf(top);
    EXPECT_EQ(file_->NidOfEntryId(id), top);
    id[10] ^= 1;
    EXPECT_FALSE(file_->NidOfEntryId(id)) << "an entry id of another store";
}

INSTANTIATE_TEST_SUITE_P(FormatsAndEncryptions, FixtureMailbox,
                         ::testing::Values(Variant{"unicode", "permute"}, Variant{"unicode", "cyclic"},
                                           Variant{"unicode", "none"}, Variant{"unicode-4k", "permute"},
                                           Variant{"unicode-4k", "cyclic"}),
                         [](const auto& info) {
                             return std::string(info.param.format == std::string("unicode") ? "Unicode"
                                                                                            : "Unicode4K") +
                                    "_" + info.param.encryption;
                         });

TEST(PstWriter, LargeTablesSpanSubnodesAndHeapPages) {
    // 3000 rows put the contents table's row matrix into a multi-block subnode and its row index
    // onto several heap pages; 200 recipients do the same for a recipient table.
    json recipients = json::array();
    for (int i = 0; i < 200; ++i) {
        recipients.push_back({{"name", "Recipient " + std::to_string(i)},
                              {"email", "r" + std::to_string(i) + "@example.com"}});
    }
    json d = {{"folders",
               {{{"name", "Inbox"},
                 {"messages",
                  {{{"subject", "Same"}, {"repeat", 3000}},
                   {{"subject", "Many recipients"}, {"to", recipients}}}}}}}};
    TestSupport::TempDir dir;
    PstTest::Build(d, dir / "large.pst");
    pst::PstFile file((dir / "large.pst").string());
    PstTest::WalkResult walk = PstTest::WalkEverything(file);
    EXPECT_TRUE(walk.problems.empty());
    EXPECT_EQ(walk.items["/Top of Personal Folders/Inbox"], 3001u);

    auto top = file.OpenFolder(*file.IpmSubtreeNid()).HierarchyTable();
    uint32_t inbox = 0;
    for (size_t i = 0; i < top->RowCount(); ++i) {
        auto row = top->ReadRow(i);
        if (row.Find(Tag::DisplayName)->AsText() == "Inbox") {
            inbox = row.rowId;
            EXPECT_EQ(row.Find(Tag::ContentCount)->AsInt32(), 3001);
        }
    }
    auto contents = file.OpenFolder(inbox).ContentsTable();
    std::set<uint32_t> ids;
    for (size_t i = 0; i < contents->RowCount(); ++i) {
        ids.insert(contents->RowId(i));
    }
    EXPECT_EQ(ids.size(), 3001u) << "every row names its own message";
    auto last = contents->ReadRow(3000);
    EXPECT_EQ(last.Find(Tag::Subject)->AsText(), "Many recipients");
    pst::Message m = file.OpenMessage(last.rowId);
    auto table = m.RecipientTable();
    ASSERT_EQ(table->RowCount(), 200u);
    EXPECT_EQ(table->ReadRow(199).Find(Tag::EmailAddress)->AsText(), "r199@example.com");
}

TEST(PstWriter, PasswordChecksumIsReported) {
    TestSupport::TempDir dir;
    PstTest::Build(json{{"store", {{"password_crc", "0x4a737248"}}}}, dir / "p.pst");
    pst::PstFile file((dir / "p.pst").string());
    ASSERT_TRUE(file.PasswordCrc());
    EXPECT_EQ(*file.PasswordCrc(), 0x4a737248u);
}

TEST(PstWriter, DescriptionErrorsNameTheProblem) {
    TestSupport::TempDir dir;
    const std::pair<json, std::string> cases[] = {
        {json{{"encryption", "rot13"}}, "unknown encryption"},
        {json{{"folders", {{{"name", "Inbox"}, {"messages", {{{"properties", {{"PR_NO_SUCH", 1}}}}}}}}}},
         "PR_NO_SUCH"},
        {json{{"folders",
               {{{"name", "Inbox"}, {"messages", {{{"properties", {{"named:PS_MAPI:0x1:PT_WHAT", 1}}}}}}}}}},
         "PT_WHAT"},
        {json{{"folders",
               {{{"name", "Inbox"}, {"messages", {{{"properties", {{"PR_HTML", {{"hex", "0g"}}}}}}}}}}}},
         "hex"},
    };
    for (const auto& [description, expected] : cases) {
        try {
            PstTest::Build(description, dir / "bad.pst");
            ADD_FAILURE() << "accepted " << description.dump();
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
        }
    }
}

}  // namespace
