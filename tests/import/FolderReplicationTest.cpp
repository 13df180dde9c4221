// Folder tree replication against the reference server, over a source tree described in the test.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "import/FolderTreeReplicator.h"
#include "runtime/ImportParams.h"
#include "runtime/Text.h"
#include "tarvik/TarvikFaults.h"
#include "tests/import/EngineTestSupport.h"
#include "tests/support/ReferenceServer.h"

namespace {

using TestSupport::ReferenceServer;
using TestSupport::ReferenceServerOptions;

constexpr const char* account = "user@example.com";

// A PST-style entry id: 20 bytes of store identification, then the folder's 4-byte node id.
std::string NodeEntryId(uint32_t node) {
    std::string id(20, '\x11');
    for (int i = 0; i < 4; ++i) {
        id += static_cast<char>((node >> (8 * i)) & 0xff);
    }
    return id;
}

struct FakeFolder : ISourceFolder {
    FakeFolder(std::string name, SpecialFolder special = SpecialFolder::None)
        : name(std::move(name)), special(special) {
        static uint32_t nextNode = 0x8022;
        id = NodeEntryId(nextNode += 0x20);
    }
    FakeFolder& Add(std::string childName, SpecialFolder childSpecial = SpecialFolder::None) {
        children.push_back(std::make_unique<FakeFolder>(std::move(childName), childSpecial));
        return *children.back();
    }
    std::string EntryId() const override { return id; }
    std::string DisplayName() const override { return name; }
    SpecialFolder Special() const override { return special; }
    int FolderKind() const override { return 1; }
    bool HasItems() const override { return hasItems; }
    std::optional<std::vector<std::string>> ChildNames() const override {
        if (!childNamesReadable) {
            return std::nullopt;
        }
        std::vector<std::string> names;
        for (const auto& child : children) {
            names.push_back(child->name);
        }
        return names;
    }
    std::string Suffix() const { return "{" + HexOfNode() + "}"; }
    std::string HexOfNode() const {
        static constexpr char hex[] = "0123456789abcdef";
        std::string text;
        for (size_t i = 20; i < id.size(); ++i) {
            text += hex[static_cast<unsigned char>(id[i]) >> 4];
            text += hex[static_cast<unsigned char>(id[i]) & 0xf];
        }
        return text;
    }

    std::string id;
    std::string name;
    SpecialFolder special;
    bool hasItems = false;
    bool childNamesReadable = true;
    std::vector<std::unique_ptr<FakeFolder>> children;
};

class FolderReplicationTest : public ::testing::Test {
  protected:
    explicit FolderReplicationTest(std::string scenario = {})
        : server(ReferenceServerOptions{.scenario = std::move(scenario)}),
          params(GetImportParams()),
          mailbox(server.Host(), static_cast<uint32_t>(server.Port()), false, false),
          root("Top of Personal Folders", SpecialFolder::Root) {
        LoadTextTable(TextLanguage::Default);
        ResetImportParams(params);
        params.progress = &progress;
        mailbox.Authenticate(account, "secret");
    }
    ~FolderReplicationTest() override { params.progress = nullptr; }

    // The scanner's folder walk: depth first, the root its own parent.
    void Replicate() {
        FolderTreeReplicator replicator(folderIdMap, mailbox, params, account);
        replicator.FetchServerFolders();
        Walk(replicator, root, root);
    }

    void Walk(FolderTreeReplicator& replicator, const FakeFolder& folder, const FakeFolder& parent) {
        FolderTreeReplicator::Decision decision = replicator.OnEnterFolder(folder, parent);
        if (decision.listed) {
            listed.push_back(folder.name);
        }
        if (decision.descend) {
            for (const auto& child : folder.children) {
                Walk(replicator, *child, folder);
            }
        }
        replicator.OnLeaveFolder(folder);
    }

    std::vector<std::string> ServerPaths() const {
        std::vector<std::string> paths;
        nlohmann::ordered_json dump = server.Dump(account, false);
        for (const auto& folder : dump["folders"]) {
            paths.push_back(folder["path"]);
        }
        return paths;
    }

    int64_t ServerId(const std::string& path) const {
        nlohmann::ordered_json dump = server.Dump(account, false);
        for (const auto& folder : dump["folders"]) {
            if (folder["path"] == path) {
                return folder["id"];
            }
        }
        return -1;
    }

    std::optional<int64_t> MappedId(const FakeFolder& folder) const {
        auto entry = folderIdMap.find(folder.id);
        return entry == folderIdMap.end() ? std::nullopt : std::optional<int64_t>(entry->second);
    }

    bool Listed(const std::string& name) const { return std::count(listed.begin(), listed.end(), name) >= 1; }

    ReferenceServer server;
    ImportParams& params;
    EngineTest::RecordingProgress progress;
    EngineTest::CapturedLog log;
    Tarvik::Mail::Mailbox mailbox;
    FakeFolder root;
    FolderIdMap folderIdMap;
    std::vector<std::string> listed;
};

TEST_F(FolderReplicationTest, MirrorsSpecialAndUserFoldersWithCleanDistinctNames) {
    root.hasItems = true;
    FakeFolder& inbox = root.Add("Inbox", SpecialFolder::Inbox);
    FakeFolder& work = inbox.Add("Work");
    FakeFolder& sent = root.Add("Sent Items");  // special by its name alone
    FakeFolder& oldSent = sent.Add("2019");
    FakeFolder& deleted = root.Add("Papierkorb", SpecialFolder::DeletedItems);
    FakeFolder& junk = root.Add("Junk E-mail", SpecialFolder::JunkEmail);
    FakeFolder& junkSub = junk.Add("Spam from 2020");
    junkSub.Add("Deeper");
    FakeFolder& outbox = root.Add("Outbox", SpecialFolder::Outbox);
    outbox.Add("Never visited");
    FakeFolder& projects = root.Add("Projects");
    FakeFolder& slash = projects.Add("a/b");
    FakeFolder& backslash = projects.Add("a\\b");
    FakeFolder& deepInbox = projects.Add("Inbox");
    FakeFolder& longName = projects.Add(std::string(200, 'n'));
    FakeFolder& trash = root.Add("Trash");  // the server's system folder 3 bears this name
    FakeFolder& rootNamed = root.Add("PST Root Folder");
    FakeFolder& unreadable = root.Add("Unreadable");
    unreadable.childNamesReadable = false;
    FakeFolder& colon = unreadable.Add("to do: now");

    Replicate();

    EXPECT_EQ(MappedId(inbox), 2);
    EXPECT_EQ(MappedId(sent), 5);
    EXPECT_EQ(MappedId(deleted), 3);
    EXPECT_EQ(MappedId(junk), 4);
    EXPECT_EQ(MappedId(junkSub), 4);
    EXPECT_FALSE(MappedId(outbox));
    EXPECT_EQ(MappedId(work), ServerId("/Inbox/Work"));
    EXPECT_EQ(MappedId(oldSent), ServerId("/Sent/2019"));
    EXPECT_EQ(MappedId(slash), ServerId("/Projects/a\\b" + slash.Suffix()));
    EXPECT_EQ(MappedId(backslash), ServerId("/Projects/a\\b"));
    EXPECT_EQ(MappedId(deepInbox), ServerId("/Projects/Inbox"));
    EXPECT_EQ(MappedId(longName), ServerId("/Projects/" + std::string(128, 'n')));
    EXPECT_EQ(MappedId(trash), ServerId("/Trash" + trash.Suffix()));
    EXPECT_EQ(MappedId(rootNamed), ServerId("/PST Root Folder"));
    EXPECT_EQ(MappedId(colon), ServerId("/Unreadable/to do| now" + colon.Suffix()));
    EXPECT_EQ(params.rootItemsFolderId, ServerId("/PST Root Folder" + root.Suffix()));
    EXPECT_EQ(MappedId(root), params.rootItemsFolderId);
    EXPECT_GT(params.rootItemsFolderId, 15);

    for (const char* name : {"Top of Personal Folders", "Inbox", "Work", "Sent Items", "2019", "Junk E-mail",
                             "Spam from 2020", "Deeper", "Projects", "a/b", "a\\b"}) {
        EXPECT_TRUE(Listed(name)) << name;
    }
    EXPECT_FALSE(Listed("Outbox"));
    EXPECT_FALSE(Listed("Never visited"));
    EXPECT_EQ(progress.warnings.size(), 2u) << "one warning per junk subfolder";
    std::vector<std::string> paths = ServerPaths();
    EXPECT_EQ(std::count_if(paths.begin(), paths.end(),
                            [](const std::string& path) { return path.starts_with("/Junk/"); }),
              0);
}

TEST_F(FolderReplicationTest, FoldersTurnedOffAreMappedButNeitherListedNorVisited) {
    params.importSentItems = false;
    params.importDeletedItems = false;
    params.importJunk = false;
    FakeFolder& sent = root.Add("Sent Items", SpecialFolder::SentItems);
    sent.Add("Below sent");
    root.Add("Deleted Items").Add("Below deleted");
    FakeFolder& junk = root.Add("Junk E-mail");
    junk.Add("Below junk");

    Replicate();

    EXPECT_EQ(MappedId(sent), 5);
    EXPECT_EQ(MappedId(junk), 4);
    EXPECT_EQ(listed, std::vector<std::string>{"Top of Personal Folders"});
    EXPECT_TRUE(progress.warnings.empty());
    EXPECT_EQ(ServerPaths().size(), 9u) << "only the system folders";
}

TEST_F(FolderReplicationTest, ExistingServerFoldersAreReusedOnASecondRun) {
    FakeFolder& projects = root.Add("Projects");
    projects.Add("Plans");
    int64_t existing = mailbox.CreateFolder("PROJECTS", 1, 1, std::nullopt);

    Replicate();
    FolderIdMap first = folderIdMap;
    size_t folders = ServerPaths().size();
    folderIdMap.clear();
    Replicate();

    EXPECT_EQ(MappedId(projects), existing);
    EXPECT_EQ(folderIdMap, first);
    EXPECT_EQ(ServerPaths().size(), folders);
    EXPECT_TRUE(log.Contains("(FR): Folder exists on tarvik - fid is " + std::to_string(existing)));
}

TEST_F(FolderReplicationTest, SourceFoldersDifferingOnlyInCaseShareOneServerFolder) {
    FakeFolder& upper = root.Add("Work");
    FakeFolder& lower = root.Add("work");
    Replicate();
    ASSERT_TRUE(MappedId(upper));
    EXPECT_EQ(MappedId(lower), MappedId(upper));
}

class FolderCreationFaultTest : public FolderReplicationTest {
  protected:
    FolderCreationFaultTest()
        : FolderReplicationTest(
              R"({"rules": [{"operation": "CreateFolderRequest", "occurrence": 1, "action": "fault", "code": "service.FAILURE"}]})") {
    }
};

TEST_F(FolderCreationFaultTest, FolderThatCannotBeCreatedIsListedUnmappedAndNotDescended) {
    FakeFolder& failing = root.Add("Projects");
    failing.Add("Child");
    FakeFolder& next = root.Add("Next");
    Replicate();
    EXPECT_TRUE(Listed("Projects")) << "its items go on to fail one by one, reported";
    EXPECT_FALSE(MappedId(failing));
    EXPECT_FALSE(Listed("Child"));
    EXPECT_EQ(MappedId(next), ServerId("/Next"));
    EXPECT_TRUE(log.Contains("(FR): Failed to create folder Projects on tarvik"));
}

class SessionExpiryTest : public FolderReplicationTest {
  protected:
    explicit SessionExpiryTest(int times = 1)
        : FolderReplicationTest(R"({"rules": [
            {"operation": "GetFolderRequest", "occurrence": 1, "times": )" +
                                std::to_string(times) +
                                R"(, "action": "expireSession"},
            {"operation": "CreateFolderRequest", "occurrence": 1, "action": "expireSession"}]})") {}
};

TEST_F(SessionExpiryTest, ExpiredSessionIsRenewedOnceDuringFetchAndCreate) {
    FakeFolder& projects = root.Add("Projects");
    Replicate();
    EXPECT_EQ(MappedId(projects), ServerId("/Projects"));
}

class RepeatedSessionExpiryTest : public SessionExpiryTest {
  protected:
    RepeatedSessionExpiryTest() : SessionExpiryTest(2) {}
};

TEST_F(RepeatedSessionExpiryTest, SecondExpiryDuringFetchFailsTheAttempt) {
    EXPECT_THROW(Replicate(), Tarvik::TarvikServiceException::AuthExpired);
}

}  // namespace
