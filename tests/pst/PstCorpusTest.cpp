// Real PST and OST files written by Outlook, Exchange and other tools (../shared/corpus): every
// readable file is read completely without a problem, folder item counts are those the corpus
// documents, and the broken files are refused with a message saying what is wrong.

#include <gtest/gtest.h>

#include "pst/PstFile.h"
#include "tests/pst/PstTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

struct CorpusFile {
    const char* name;
    pst::Format format;
    std::optional<uint32_t> passwordCrc;
    std::map<std::string, size_t> items;  // folders with items; every other folder is empty
    size_t messages;                      // embedded messages included
    size_t attachments = 0;               // checked where the corpus documents them
};

void PrintTo(const CorpusFile& c, std::ostream* out) {
    *out << c.name;
}

const std::string kTop = "/Top of Personal Folders";

const CorpusFile kReadable[] = {
    {"02-tika-testPST.pst", pst::Format::Unicode, {}, {{"/Début du fichier de données Outlook", 7}}, 8, 2},
    {"03-tika-testPST_variousBodyTypes.pst",
     pst::Format::Unicode,
     {},
     {{"/Top of Outlook data file/Inbox/tmp", 4}},
     4},
    {"04-rubymsg-attachAndInline.pst",
     pst::Format::Unicode,
     {},
     {{"/Outlook データ ファイルのトップ", 1}},
     1},
    {"05-rubymsg-msgInMsg.pst", pst::Format::Unicode, {}, {{"/Outlook データ ファイルのトップ", 1}}, 2},
    {"06-rubymsg-200-recipients.pst", pst::Format::Unicode, {}, {{"/Outlook データ ファイルのトップ", 1}}, 1},
    {"07-pstsdk-submessage.pst", pst::Format::Unicode, {}, {{"/Top of Outlook data file/submessage", 1}}, 2},
    {"08-pstsdk-sample2-ansi.pst", pst::Format::Ansi, {}, {{"/Top of Outlook data file/Sample2", 1}}, 1},
    {"09-tghanem-user1-testlab.pst",
     pst::Format::Unicode,
     0x4a737248,
     {{"/Top of Outlook data file/FolderWithSingleMessage", 1},
      {"/Top of Outlook data file/FolderWithSingleUnreadMessage", 1},
      {"/Top of Outlook data file/FolderWithMessagesWithAttachments", 2},
      {"/Top of Outlook data file/FolderWithSampleMessages", 2}},
     7},
    {"10-gopst-32bit-enron-ansi.pst", pst::Format::Ansi, {}, {{kTop + "/Calendar", 1}}, 1},
    {"13-aspose-contacts72.pst", pst::Format::Unicode, {}, {{kTop + "/myInbox", 72}}, 72},
    {"14-javalibpst-dist-list.pst",
     pst::Format::Unicode,
     {},
     {{kTop + "/Calendar", 1}, {kTop + "/Contacts", 2}, {"/Freebusy Data", 1}},
     6},
    {"15-javalibpst-passworded.pst",
     pst::Format::Unicode,
     0xe61eb50f,
     {{kTop + "/Contacts", 2}, {"/Freebusy Data", 1}},
     3},
    {"17-aspose-SampleOstFile.ost",
     pst::Format::Unicode,
     {},  // holds PR_PST_PASSWORD 0xffffffff, but an OST has no password
     {{"/Root - Mailbox/IPM_SUBTREE/Deleted Items", 10},
      {"/Root - Mailbox/IPM_SUBTREE/Inbox", 12},
      {"/Root - Mailbox/IPM_SUBTREE/Inbox/sub1", 25},
      {"/Root - Mailbox/IPM_SUBTREE/Inbox/sub2", 29},
      {"/Root - Mailbox/IPM_SUBTREE/Sent Items", 6},
      {"/Root - Mailbox/IPM_SUBTREE/Calendar", 1},
      {"/Root - Mailbox/IPM_SUBTREE/Sync Issues", 9}},
     93,   // 92 items and the report embedded in the NDR
     41},  // 39 on the items, 2 inside the embedded report
    {"18-aspose-Test_part1.pst",
     pst::Format::Unicode,
     {},
     {{kTop + "/Sent Items", 31}, {kTop + "/Calendar", 9}, {kTop + "/Contacts", 21}},
     71},
    {"24-aspose-passwordprotected-chinese.pst",
     pst::Format::Unicode,
     0x11a89da7,
     {{kTop + "/Deleted Items", 14}, {kTop + "/Inbox", 4}},
     23},
};

class Corpus : public ::testing::TestWithParam<CorpusFile> {};

TEST_P(Corpus, EveryFolderItemAndAttachmentIsReadable) {
    TVK_REQUIRE_CORPUS();
    const CorpusFile& c = GetParam();
    pst::PstFile file((*TestSupport::CorpusDir() / c.name).string());
    EXPECT_EQ(file.GetHeader().format, c.format);
    EXPECT_EQ(file.PasswordCrc(), c.passwordCrc);
    PstTest::WalkResult walk = PstTest::WalkEverything(file);
    EXPECT_TRUE(walk.problems.empty())
        << walk.problems.size() << " problems, first: " << walk.problems.front();
    for (const auto& [path, count] : walk.items) {
        auto expected = c.items.find(path);
        EXPECT_EQ(count, expected == c.items.end() ? 0 : expected->second) << path;
    }
    for (const auto& [path, count] : c.items) {
        EXPECT_TRUE(walk.items.count(path)) << "missing folder " << path;
    }
    EXPECT_EQ(walk.messages, c.messages);
    if (c.attachments != 0) {
        EXPECT_EQ(walk.attachments, c.attachments);
    }
}

INSTANTIATE_TEST_SUITE_P(Readable, Corpus, ::testing::ValuesIn(kReadable), [](const auto& info) {
    std::string name = info.param.name;
    return "File" + name.substr(0, 2);
});

TEST(CorpusNegative, BrokenFilesAreRefusedWithTheReason) {
    TVK_REQUIRE_CORPUS();
    const std::pair<const char*, const char*> cases[] = {
        {"27-corrupt-index-backpointer.pst", "back pointer 0x1623 does not match the expected 0x1622"},
        {"28-corrupt-header-crc.pst", "corrupt header: checksum"},
        {"29-truncated-in-header.bin", "truncated file: 40 bytes"},
        {"30-not-a-pst-mbox.pst", "not a PST file"},
    };
    for (const auto& [name, reason] : cases) {
        std::string path = (*TestSupport::CorpusDir() / name).string();
        try {
            pst::PstFile file(path);
            ADD_FAILURE() << name << " was opened";
        } catch (const pst::Error& e) {
            EXPECT_EQ(e.File(), path);
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }
}

}  // namespace

namespace {

TEST(CorpusReceiveFolders, AreTakenFromTheStoresTable) {
    TVK_REQUIRE_CORPUS();
    const std::tuple<const char*, const char*, uint32_t> cases[] = {
        {"14-javalibpst-dist-list.pst", "IPM.Note", 0x8082},  // the Inbox
        {"14-javalibpst-dist-list.pst", "IPC.Sync", 0x122},   // IPC goes to the root
        {"03-tika-testPST_variousBodyTypes.pst", "", 0x122},  // this store only knows the root
        {"18-aspose-Test_part1.pst", "Report.IPM.Note.NDR", 0x80c2},
    };
    for (const auto& [name, cls, nid] : cases) {
        pst::PstFile file((*TestSupport::CorpusDir() / name).string());
        EXPECT_EQ(file.ReceiveFolderNid(cls), nid) << name << " " << cls;
    }
}

}  // namespace
