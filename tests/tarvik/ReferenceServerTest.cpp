// The client against the reference server: what the client sends must be what a Tarvik server
// accepts and stores, and what it answers must be read back right.

#include <gtest/gtest.h>

#include <string>

#include "runtime/ImportParams.h"
#include "tarvik/AdminSession.h"
#include "tarvik/Mailbox.h"
#include "tarvik/MessageStream.h"
#include "tarvik/RpcException.h"
#include "tarvik/TarvikException.h"
#include "tests/support/ReferenceServer.h"
#include "tests/support/TestSupport.h"

namespace {

using Tarvik::TarvikException;
using Tarvik::Mail::Mailbox;
using TestSupport::ReferenceServer;

constexpr int64_t inboxId = 2;
constexpr uint64_t unixEpochAsFileTime = 116444736000000000;
constexpr uint64_t march2013 = unixEpochAsFileTime + 13624921890000000;  // 2013-03-05T14:03:09Z

const std::string config = R"({
  "domains": [{"name": "example.com", "publicServiceHostname": "mail.example.com"},
              {"name": "other.org"}],
  "accounts": [
    {"name": "user@example.com", "password": "secret"},
    {"name": "admin@example.com", "password": "secret", "admin": true},
    {"name": "helpdesk@example.com", "password": "secret", "domainAdmin": true},
    {"name": "bob@other.org", "password": "secret"}
  ]
})";

const std::string messageBytes =
    "From: Anna <anna@example.com>\r\n"
    "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\r\n"
    "Message-ID: <1@example.com>\r\n"
    "\r\n"
    "Hello\r\n";

// The fault code of what `action` throws, or "(none)".
template <typename Action>
std::string FaultCode(Action action) {
    try {
        action();
    } catch (const TarvikException& error) {
        return error.Code();
    } catch (const Tarvik::Rpc::RpcException& error) {
        return "transport: " + error.Description();
    }
    return "(none)";
}

class ReferenceServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ImportParams& params = GetImportParams();
        params.workDirectory = work_.Path().string();
        params.adminMode = params.isAdmin = params.isDomainAdmin = false;
        params.messageLogging = false;
        params.serverVersion.clear();
    }

    // A mailbox logged on as `user`; in administrative mode as an administrator of that kind.
    std::unique_ptr<Mailbox> LogOn(const std::string& user) {
        auto mailbox = std::make_unique<Mailbox>(server_.Host(), server_.Port(), false, false);
        EXPECT_TRUE(mailbox->Authenticate(user, "secret"));
        return mailbox;
    }

    void ActAsAdministrator(bool domainAdministrator) {
        ImportParams& params = GetImportParams();
        params.adminMode = true;
        params.isAdmin = !domainAdministrator;
        params.isDomainAdmin = domainAdministrator;
    }

    TestSupport::TempDir work_;
    ReferenceServer server_{{.config = config}};
};

TEST_F(ReferenceServerTest, FoldersAndTagsAreCreatedFoundAndRefusedTwice) {
    auto mailbox = LogOn("user@example.com");
    EXPECT_EQ(mailbox->AccountName(), "user@example.com");

    int64_t projects =
        mailbox->CreateFolder("Projects", inboxId, Tarvik::Rpc::FolderKind::Mail, std::nullopt);
    auto root = mailbox->GetRootFolder(std::nullopt);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->id, 1);
    auto found = mailbox->FindChildFolder(*root, inboxId, "PROJECTS");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, projects);
    EXPECT_FALSE(mailbox->FindChildFolder(*root, inboxId, "Elsewhere"));
    EXPECT_EQ(FaultCode([&] { mailbox->CreateFolder("projects", inboxId, 1, std::nullopt); }),
              "mail.ALREADY_EXISTS");
    EXPECT_EQ(FaultCode([&] { mailbox->CreateFolder("A/B", inboxId, 1, std::nullopt); }),
              "mail.INVALID_NAME");

    int64_t red = mailbox->CreateTag("Red", 1, std::nullopt);
    Tarvik::Mail::TagList tags = mailbox->GetTags(std::nullopt);
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_EQ(tags[0].name, "Red");
    EXPECT_EQ(tags[0].id, red);

    auto dump = server_.Dump("user@example.com");
    bool listed = false;
    for (const auto& folder : dump["folders"]) {
        listed |= folder["path"] == "/Inbox/Projects" && folder["id"] == projects;
    }
    EXPECT_TRUE(listed) << dump["folders"].dump();
}

TEST_F(ReferenceServerTest, ABatchStoresEachItemAndReportsTheFailedOneByItsRequestId) {
    auto mailbox = LogOn("user@example.com");
    int64_t red = mailbox->CreateTag("Red", 1, std::nullopt);
    Tarvik::Mail::MemoryMessageStream message(messageBytes);

    mailbox->StartBatch();
    int64_t good = mailbox->AddMessage(message, inboxId, "sf", {red}, march2013, std::nullopt);
    int64_t lost = mailbox->AddMessage(message, 999999, "", {}, march2013, std::nullopt);
    int64_t contact =
        mailbox->CreateContact({{"email", "carl@example.com"}, {"firstName", "Carl"}}, 7, {}, std::nullopt);
    int64_t homeless = mailbox->CreateContact({{"email", "dora@example.com"}}, 999998, {}, std::nullopt);
    Tarvik::Xml::Document answer = mailbox->ExecuteBatchRequest(std::nullopt);

    EXPECT_TRUE(Mailbox::HasFault(answer));
    EXPECT_GT(Mailbox::GetAddMsgResult(answer, good), 0);
    EXPECT_GT(Mailbox::GetCreateContactResult(answer, contact), 0);
    EXPECT_EQ(FaultCode([&] { Mailbox::GetAddMsgResult(answer, lost); }), "mail.NO_SUCH_FOLDER");
    EXPECT_EQ(FaultCode([&] { Mailbox::GetCreateContactResult(answer, homeless); }), "mail.NO_SUCH_FOLDER");

    auto dump = server_.Dump("user@example.com");
    ASSERT_EQ(dump["messages"].size(), 1u);
    const auto& stored = dump["messages"][0];
    EXPECT_EQ(stored["folder"], "/Inbox");
    EXPECT_EQ(stored["flags"], "sf");
    EXPECT_EQ(stored["tags"], nlohmann::json::array({"Red"}));
    EXPECT_EQ(stored["dateUtc"], "2013-03-05T14:03:09.000Z");
    EXPECT_EQ(stored["subject"], "Grüße");
    EXPECT_EQ(stored["mime"], messageBytes);
    ASSERT_EQ(dump["contacts"].size(), 1u);
    EXPECT_EQ(dump["contacts"][0]["attributes"]["email"], "carl@example.com");
}

TEST_F(ReferenceServerTest, AnAdministratorImportsIntoAnotherAccountADomainAdministratorOnlyInsideItsDomain) {
    ActAsAdministrator(false);
    Tarvik::Mail::MemoryMessageStream message(messageBytes);
    {
        auto admin = LogOn("admin@example.com");
        int64_t id = admin->AddMessage(message, inboxId, "", {}, march2013, "bob@other.org");
        EXPECT_GT(id, 0);
    }
    EXPECT_EQ(server_.Dump("bob@other.org")["messages"].size(), 1u);

    ActAsAdministrator(true);
    auto helpdesk = LogOn("helpdesk@example.com");
    EXPECT_GT(helpdesk->CreateFolder("Imported", inboxId, 1, "user@example.com"), 0);
    EXPECT_EQ(FaultCode([&] { helpdesk->CreateFolder("Imported", inboxId, 1, "bob@other.org"); }),
              "service.PERM_DENIED");
}

TEST_F(ReferenceServerTest, WrongPasswordsAreRefused) {
    Mailbox mailbox(server_.Host(), server_.Port(), false, false);
    EXPECT_EQ(FaultCode([&] { mailbox.Authenticate("user@example.com", "guess"); }), "account.AUTH_FAILED");
    ActAsAdministrator(false);
    Tarvik::Admin::AdminSession& admin =
        Tarvik::Admin::AdminSession::Open(server_.Host(), server_.Port(), false, false);
    EXPECT_EQ(FaultCode([&] { admin.AdminAuthenticate("user@example.com", "secret"); }),
              "account.AUTH_FAILED");
}

TEST_F(ReferenceServerTest, TheAdminSessionLooksUpAccountsAndTheDomainsPublicHostname) {
    ActAsAdministrator(false);
    Tarvik::Admin::AdminSession& admin =
        Tarvik::Admin::AdminSession::Open(server_.Host(), server_.Port(), false, false);
    ASSERT_TRUE(admin.AdminAuthenticate("admin@example.com", "secret"));
    EXPECT_EQ(admin.AccountName(), "admin@example.com");
    EXPECT_TRUE(GetImportParams().isAdmin);

    auto account = admin.GetAdminAccount("bob@other.org");
    ASSERT_TRUE(account);
    EXPECT_EQ(account->name, "bob@other.org");
    EXPECT_TRUE(account->id && !account->id->empty());
    EXPECT_EQ(admin.GetDomainPublicHostname("example.com"), "mail.example.com");
    EXPECT_EQ(admin.GetDomainPublicHostname("other.org"), "");
    EXPECT_EQ(FaultCode([&] { admin.GetAdminAccount("nobody@example.com"); }), "account.NO_SUCH_ACCOUNT");
    EXPECT_EQ(FaultCode([&] { admin.GetDomainPublicHostname("nowhere.net"); }), "account.NO_SUCH_DOMAIN");
}

}  // namespace
