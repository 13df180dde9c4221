// The mail item pass against the reference server: folder options, size limits, flag letters, the
// sent test, tags from categories and dates, as the server stores them.

#include "import/MessageAdder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "import/EngineSettings.h"
#include "runtime/ImportParams.h"
#include "runtime/Text.h"
#include "tests/import/EngineTestSupport.h"
#include "tests/support/ReferenceServer.h"

namespace {

using TestSupport::ReferenceServer;
using TestSupport::ReferenceServerOptions;
using TestSupport::TempDir;

constexpr const char* account = "user@example.com";
constexpr int64_t march2013 = 130'070'000'000'000'000;  // a file time in 2013

class TextMime : public IMimeText {
  public:
    explicit TextMime(std::string text) : text_(std::move(text)) {}
    uint64_t Size() const override { return text_.size(); }
    uint64_t WriteTo(std::ostream& out) const override {
        out << text_;
        return text_.size();
    }

  private:
    std::string text_;
};

class FolderTree : public IFolderParents {
  public:
    std::optional<std::string> ParentOf(const std::string& folder) override {
        auto entry = parents.find(folder);
        return entry == parents.end() ? std::nullopt : std::optional<std::string>(entry->second);
    }
    std::map<std::string, std::string> parents;
};

class NoCopies : public IFailedItemCopier {
  public:
    void CopyFailedItem(const PendingItem&, int32_t) override {}
};

class MessageAdderTest : public ::testing::Test {
  protected:
    explicit MessageAdderTest(std::string config = {})
        : server(ReferenceServerOptions{.config = std::move(config)}),
          params(GetImportParams()),
          mailbox(server.Host(), static_cast<uint32_t>(server.Port()), false, false) {
        LoadTextTable(TextLanguage::Default);
        ResetImportParams(params);
        params.workDirectory = work.Path();
        params.progress = &progress;
        GetEngineSettings().itemSizeLimit = 10 * 1024 * 1024;
        mailbox.Authenticate(account, "secret");

        // root -> Sent Items -> Archive, root -> Inbox, root -> Junk E-mail; the root's own items go
        // to a folder of their own.
        rootItems = mailbox.CreateFolder("PST Root Folder", 1, 1, std::nullopt);
        params.rootItemsFolderId = rootItems;
        archive = mailbox.CreateFolder("Archive", 5, 1, std::nullopt);
        folderIdMap = {{"root", rootItems}, {"sent", 5}, {"archive", archive}, {"inbox", 2}, {"junk", 4}};
        tree.parents = {
            {"root", "root"}, {"sent", "root"}, {"archive", "sent"}, {"inbox", "root"}, {"junk", "root"}};
        adder.emplace(folderIdMap, mailbox, params, account, "mail", copies, tree, clock, false);
        adder->OpenProgressLog(progressLogSalt, "mail");
        adder->BeginBatch();
    }
    ~MessageAdderTest() override {
        adder.reset();
        params.progress = nullptr;
        params.statistics.reset();
    }

    static MailItemFacts Item(const std::string& subject, const std::string& folder) {
        MailItemFacts item;
        item.entryId = "entry-" + subject;
        item.searchKey = "key-" + subject;
        item.subject = subject;
        item.folderEntryId = folder;
        item.folderName = folder;
        item.messageFlags = 0x1;  // read
        item.deliveryTime = march2013;
        return item;
    }

    void Add(const MailItemFacts& item, size_t bodySize = 10) {
        adder->AddMail(item, [&] {
            converted.push_back(item.subject);
            return std::make_unique<TextMime>("Subject: " + item.subject + "\r\n\r\n" +
                                              std::string(bodySize, 'b') + "\r\n");
        });
    }

    // The stored messages by subject.
    std::map<std::string, nlohmann::ordered_json> Stored() const {
        std::map<std::string, nlohmann::ordered_json> bySubject;
        nlohmann::ordered_json dump = server.Dump(account, false);
        for (const auto& message : dump["messages"]) {
            bySubject[message["subject"]] = message;
        }
        return bySubject;
    }

    ReferenceServer server;
    TempDir work;
    ImportParams& params;
    EngineTest::RecordingProgress progress;
    EngineTest::CapturedLog log;
    Tarvik::Mail::Mailbox mailbox;
    int64_t rootItems = -1;
    int64_t archive = -1;
    FolderIdMap folderIdMap;
    FolderTree tree;
    NoCopies copies;
    BatchClock clock;
    std::optional<MessageAdder> adder;
    std::vector<std::string> converted;
};

TEST_F(MessageAdderTest, FlagLettersFolderAndDateReachTheServer) {
    struct Case {
        const char* subject;
        const char* folder;
        std::optional<uint32_t> messageFlags;
        std::optional<int32_t> lastVerb;
        std::optional<int32_t> flagStatus;
        const char* flags;
    };
    const Case cases[] = {
        {"read", "inbox", 0x1, {}, {}, ""},
        {"unread", "inbox", 0x0, {}, {}, "u"},
        {"no flags at all", "inbox", {}, {}, {}, ""},
        {"draft", "inbox", 0x8, {}, {}, "ud"},
        {"from me", "inbox", 0x21, {}, {}, "s"},
        {"replied", "inbox", 0x1, 102, {}, "r"},
        {"replied to all", "inbox", 0x1, 103, {}, "r"},
        {"forwarded and flagged", "inbox", 0x1, 104, 2, "wf"},
        {"in sent", "sent", 0x1, {}, {}, "s"},
        {"below sent", "archive", 0x1, {}, {}, "s"},
        {"in the root", "root", 0x1, {}, {}, ""},
    };
    for (const Case& c : cases) {
        MailItemFacts item = Item(c.subject, c.folder);
        item.messageFlags = c.messageFlags;
        item.lastVerb = c.lastVerb;
        item.flagStatus = c.flagStatus;
        item.submitTime = march2013 - 600'000'000;  // sent ten minutes before delivery
        Add(item);
    }
    adder->Finish();

    std::map<std::string, nlohmann::ordered_json> stored = Stored();
    ASSERT_EQ(stored.size(), std::size(cases));
    for (const Case& c : cases) {
        const nlohmann::ordered_json& message = stored[c.subject];
        EXPECT_EQ(message["flags"], c.flags) << c.subject;
        bool sent = std::string(c.folder) == "sent" || std::string(c.folder) == "archive";
        int64_t expectedDate =
            ((sent ? march2013 - 600'000'000 : march2013) - 116'444'736'000'000'000) / 10'000;
        EXPECT_EQ(message["date"], expectedDate) << c.subject;
    }
    EXPECT_EQ(stored["in the root"]["folder"], "/PST Root Folder");
    EXPECT_EQ(stored["below sent"]["folder"], "/Sent/Archive");
    EXPECT_EQ(adder->Statistics().itemsAttempted, static_cast<int32_t>(std::size(cases)));
}

TEST_F(MessageAdderTest, ItemWithoutItsOwnDateTakesTheNearestOneItHas) {
    MailItemFacts onlyCreated = Item("only created", "inbox");
    onlyCreated.deliveryTime.reset();
    onlyCreated.creationTime = march2013;
    Add(onlyCreated);
    adder->Finish();
    EXPECT_EQ(Stored()["only created"]["date"], (march2013 - 116'444'736'000'000'000) / 10'000);
}

TEST_F(MessageAdderTest, CategoriesBecomeTagsCreatedOnce) {
    MailItemFacts first = Item("first", "inbox");
    first.categories = {"Red", "red", "  Blue ", "", "Work: urgent"};
    MailItemFacts second = Item("second", "inbox");
    second.categories = {"BLUE"};
    Add(first);
    Add(second);
    adder->Finish();

    std::map<std::string, nlohmann::ordered_json> stored = Stored();
    EXPECT_EQ(stored["first"]["tags"], nlohmann::ordered_json::array({"Red", "Blue", "Work| urgent"}));
    EXPECT_EQ(stored["second"]["tags"], nlohmann::ordered_json::array({"Blue"}));
    EXPECT_EQ(server.Dump(account, false)["tags"].size(), 3u);
}

TEST_F(MessageAdderTest, SizeLimitsSkipLargeItemsBeforeAndAfterConversion) {
    GetEngineSettings().itemSizeLimit = 1024 * 1024;
    MailItemFacts large = Item("large", "inbox");
    large.messageSize = 1024 * 1024 + 1;
    MailItemFacts largeMime = Item("large mime", "inbox");
    largeMime.messageSize = 1000;
    MailItemFacts fits = Item("fits", "inbox");
    fits.messageSize = 1024 * 1024;
    Add(large);
    Add(largeMime, 1024 * 1024);
    Add(fits);
    adder->Finish();

    EXPECT_EQ(converted, (std::vector<std::string>{"large mime", "fits"})) << "too large to convert at all";
    EXPECT_EQ(progress.warnings,
              (std::vector<std::string>{"Message skipped, too large d(large) fid(002)",
                                        "Message skipped, MIME representation too large d(large "
                                        "mime) fid(002)"}));
    EXPECT_EQ(Stored().size(), 1u);

    GetEngineSettings().itemSizeLimit = 0;  // no limit
    MailItemFacts unlimited = Item("unlimited", "inbox");
    unlimited.messageSize = 0xffffffff;
    Add(unlimited);
    adder->Finish();
    EXPECT_EQ(Stored().size(), 2u);
}

TEST_F(MessageAdderTest, ItemsOfTurnedOffFoldersAreIgnoredAndRecordedItemsSkipped) {
    params.importJunk = false;
    params.importDeletedItems = false;
    folderIdMap["trash"] = 3;
    Add(Item("junk", "junk"));
    Add(Item("trash", "trash"));
    EXPECT_TRUE(adder->ShouldImport("key-kept"));
    Add(Item("kept", "inbox"));
    adder->Finish();
    EXPECT_TRUE(converted == std::vector<std::string>{"kept"});
    EXPECT_TRUE(progress.warnings.empty());

    // The next pass over the same source skips what this one confirmed.
    adder.emplace(folderIdMap, mailbox, params, account, "mail", copies, tree, clock, false);
    adder->OpenProgressLog(progressLogSalt, "mail");
    EXPECT_FALSE(adder->ShouldImport("key-kept"));
    EXPECT_TRUE(adder->ShouldImport("key-new"));
    EXPECT_EQ(adder->Statistics().itemsSkipped, 1);
}

class TagLimitTest : public MessageAdderTest {
  protected:
    TagLimitTest()
        : MessageAdderTest(
              R"({"maxTags": 1, "accounts": [{"name": "user@example.com", "password": "secret"}]})") {}
};

TEST_F(TagLimitTest, AfterTooManyTagsNoFurtherTagIsCreated) {
    MailItemFacts first = Item("first", "inbox");
    first.categories = {"A", "B", "C"};
    MailItemFacts second = Item("second", "inbox");
    second.categories = {"A", "D"};
    Add(first);
    Add(second);
    adder->Finish();

    std::map<std::string, nlohmann::ordered_json> stored = Stored();
    EXPECT_EQ(stored["first"]["tags"], nlohmann::ordered_json::array({"A"}));
    EXPECT_EQ(stored["second"]["tags"], nlohmann::ordered_json::array());
    size_t creations = 0;
    for (const auto& request : server.Requests()) {
        creations += request["operation"] == "CreateTagRequest";
    }
    EXPECT_EQ(creations, 2u) << "A, then B refused; C and D are never tried";
}

}  // namespace
