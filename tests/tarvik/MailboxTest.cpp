#include <gtest/gtest.h>

#include "runtime/ImportParams.h"
#include "runtime/Log.h"
#include "tarvik/AccountRequests.h"
#include "tarvik/Mailbox.h"
#include "tarvik/MessageStream.h"
#include "tarvik/TarvikFaults.h"
#include "tests/support/ScriptedHttpResponder.h"
#include "tests/tarvik/Golden.h"

namespace {

using namespace Tarvik::Mail;
using Tarvik::TarvikException;
using TestSupport::ScriptedHttpResponder;

constexpr uint64_t unixEpoch = 116444736000000000;
constexpr uint64_t someDate = unixEpoch + 12345678901230000;
const std::string plainInfo = "<name>anna@example.com</name><version>8.0.0_GA</version>";

std::filesystem::path Scenario(const std::string& name) {
    return TestSupport::TarvikTestDir() / "scenarios" / name;
}

// The code of the TarvikException `action` throws, or "(none)".
template <typename Action>
std::string FaultCode(Action action) {
    try {
        action();
    } catch (const TarvikException& error) {
        return error.Code();
    }
    return "(none)";
}

class MailboxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ImportParams& params = GetImportParams();
        params.workDirectory = work_.Path().string();
        params.adminMode = params.isAdmin = params.isDomainAdmin = false;
        params.messageLogging = false;
        params.serverVersion.clear();
        OpenLogFile((work_ / "run.log").string());
    }
    void TearDown() override { CloseLogFile(); }

    std::string Log() const { return TestSupport::ReadFile(work_ / "run.log"); }

    TestSupport::TempDir work_;
};

TEST_F(MailboxTest, AccountInformationSetsAdministratorFlagsVersionAndQuota) {
    struct {
        std::string info;
        bool isAdmin;
        bool isDomainAdmin;
        int64_t quotaRemaining;
    } const cases[] = {
        {"<used>40</used><attrs><attr name=\"tarvikMailQuota\">100</attr></attrs>", false, false, 60},
        {"<used>100</used><attrs><attr name=\"tarvikMailQuota\">100</attr></attrs>", false, false, -1},
        {"<used>150</used><attrs><attr name=\"tarvikMailQuota\">100</attr></attrs>", false, false, -1},
        {"<used>0</used><attrs><attr name=\"tarvikMailQuota\">0</attr></attrs>", false, false, 0},
        {"<used>5</used><attrs><attr>7</attr><attr name=\"tarvikMailQuotaX\">9</attr></attrs>", false, false,
         0},
        {"<used>5</used><attrs><attr>7</attr><attr name=\"tarvikMailQuota\">9</attr></attrs>", false, false,
         4},
        {"<attrs><attr name=\"tarvikIsAdminAccount\">TRUE</attr>"
         "<attr name=\"tarvikIsDomainAdminAccount\">TRUE</attr></attrs>",
         true, false, 0},
        {"<attrs><attr name=\"tarvikIsDomainAdminAccount\">true</attr></attrs>", false, true, 0},
        {"<attrs><attr name=\"tarvikIsAdminAccount\">yes</attr></attrs>", false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.info);
        GetImportParams().isAdmin = GetImportParams().isDomainAdmin = true;
        ScriptedHttpResponder server(Scenario("logon.http"), {{"INFO", plainInfo + c.info}});
        Mailbox mailbox("127.0.0.1", server.Port(), false, false);
        ASSERT_TRUE(mailbox.Authenticate("anna@example.com", "pw"));
        EXPECT_EQ(GetImportParams().isAdmin, c.isAdmin);
        EXPECT_EQ(GetImportParams().isDomainAdmin, c.isDomainAdmin);
        EXPECT_EQ(mailbox.QuotaRemaining(), c.quotaRemaining);
        EXPECT_EQ(GetImportParams().serverVersion, "8.0.0_GA");
        EXPECT_EQ(mailbox.AccountName(), "anna@example.com");
        EXPECT_EQ(mailbox.Session().sessionId, "77");
        EXPECT_EQ(mailbox.Session().lifetime, "172800000");
        EXPECT_EQ(server.Problems(), std::vector<std::string>());
    }
}

TEST_F(MailboxTest, DomainComesFromTheUserNameElseFromTheReportedAccountName) {
    struct {
        std::string reportedName;
        std::string user;
        std::string domain;
    } const cases[] = {{"anna@example.com", "anna", "example.com"},
                       {"anna@example.com", "a@b@c.org", "b@c.org"},
                       {"anna", "anna", ""}};
    for (const auto& c : cases) {
        ScriptedHttpResponder server(Scenario("logon.http"),
                                     {{"INFO", "<name>" + c.reportedName + "</name>"}});
        Mailbox mailbox("127.0.0.1", server.Port(), false, false);
        mailbox.Authenticate("anna@example.com", "pw");
        EXPECT_EQ(mailbox.DomainOf(c.user), c.domain) << c.user;
    }
}

TEST_F(MailboxTest, ReLogonUsesTheFirstCredentials) {
    ScriptedHttpResponder server(Scenario("logon-twice.http"));
    Mailbox mailbox("127.0.0.1", server.Port(), false, false);
    EXPECT_TRUE(mailbox.Authenticate("anna@example.com", "pw"));
    EXPECT_TRUE(mailbox.Authenticate("bob@example.com", "other"));
    EXPECT_TRUE(mailbox.ReLogon());
    EXPECT_EQ(mailbox.Session().authToken, "t3");
    EXPECT_EQ(server.Problems(), std::vector<std::string>());
}

TEST_F(MailboxTest, FindsFoldersWithoutRegardToCaseAndCreatesThem) {
    ScriptedHttpResponder server(Scenario("folders.http"), {{"INFO", plainInfo}});
    Mailbox mailbox("127.0.0.1", server.Port(), false, false);
    ASSERT_TRUE(mailbox.Authenticate("anna@example.com", "pw"));

    std::unique_ptr<FolderInfo> root = mailbox.GetRootFolder(std::nullopt);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->id, 1);
    EXPECT_EQ(root->parentId, 1);
    EXPECT_EQ(root->name, std::nullopt);

    struct {
        int64_t parent;
        const char* name;
        int64_t found;  // -1: none
    } const lookups[] = {{1, "INBOX", 2}, {257, "ÜBERSICHT", 258}, {4294967297, "2009", 4294967300},
                         {1, "2009", -1}, {1, "Inbox2", -1},       {2, "Inbox", -1}};
    for (const auto& lookup : lookups) {
        std::unique_ptr<FolderInfo> child = mailbox.FindChildFolder(*root, lookup.parent, lookup.name);
        EXPECT_EQ(child ? child->id : -1, lookup.found) << lookup.name;
        if (child) {
            EXPECT_EQ(child->parentId, lookup.parent);
        }
    }
    std::unique_ptr<FolderInfo> inbox = mailbox.FindChildFolder(*root, 1, "inbox");
    EXPECT_EQ(inbox->view, "message");
    EXPECT_EQ(mailbox.FindChildFolder(FolderInfo{}, 1, "Lost"), nullptr);
    EXPECT_NE(Log().find("NULL folder node for folder Lost: skipping"), std::string::npos);

    EXPECT_EQ(mailbox.CreateFolder("Neu", 257, Tarvik::Rpc::FolderKind::Mail, std::nullopt), 300);
    EXPECT_EQ(
        FaultCode([&] { mailbox.CreateFolder("Leer", 1, Tarvik::Rpc::FolderKind::Mail, std::nullopt); }),
        "folder not created");
    EXPECT_THROW(mailbox.CreateFolder("Inbox", 1, Tarvik::Rpc::FolderKind::Mail, std::nullopt),
                 Tarvik::TarvikMailException::FolderExists);
    EXPECT_EQ(server.Problems(), std::vector<std::string>());
}

TEST_F(MailboxTest, ReadsAndCreatesTagsAndAddsContactsAndMessagesOneByOne) {
    GetImportParams().messageLogging = true;
    ScriptedHttpResponder server(Scenario("items.http"), {{"INFO", plainInfo}});
    Mailbox mailbox("127.0.0.1", server.Port(), false, false);
    ASSERT_TRUE(mailbox.Authenticate("anna@example.com", "pw"));

    TagList tags = mailbox.GetTags(std::nullopt);
    ASSERT_EQ(tags.size(), 3u);
    EXPECT_EQ(tags[0].name, "Rot");
    EXPECT_EQ(tags[0].id, 64);
    EXPECT_EQ(tags[1].id, 65);
    EXPECT_EQ(tags[2].id, -1);
    EXPECT_EQ(mailbox.CreateTag("Blau", 1, std::nullopt), 66);
    EXPECT_THROW(mailbox.CreateTag("Gelb", 3, std::nullopt), Tarvik::TarvikMailException::TooManyTags);
    EXPECT_EQ(mailbox.CreateContact({{"firstName", "Anna"}}, 7, {64}, std::nullopt), 501);

    const std::string message = "Subject: hi\r\n\r\nbody";
    EXPECT_EQ(mailbox.AddMessage(MemoryMessageStream(message), 2, "u", {}, someDate, std::nullopt), 502);
    EXPECT_EQ(server.Problems(), std::vector<std::string>());

    // The uploaded message is kept under its token, ":" turned into "-", readable by the user only.
    EXPECT_EQ(mailbox.DumpedMessages, std::set<std::string>{"d9e1-5f2a"});
    std::filesystem::path copy = work_ / "d9e1-5f2a.eml";
    EXPECT_EQ(TestSupport::ReadFile(copy), message);
    EXPECT_EQ(std::filesystem::status(copy).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(MailboxTest, BatchTagsRequestIdsByServerVersionAndReadsPerItemResults) {
    struct {
        const char* version;
        const char* attribute;
    } const versions[] = {{"8.0.0_GA", "requestId"}, {"4.5.10", "id"}};
    for (const auto& version : versions) {
        SCOPED_TRACE(version.version);
        ScriptedHttpResponder server(Scenario("batch.http"),
                                     {{"INFO", "<version>" + std::string(version.version) + "</version>"},
                                      {"ATTR", version.attribute}});
        Mailbox mailbox("127.0.0.1", server.Port(), false, false);
        ASSERT_TRUE(mailbox.Authenticate("anna@example.com", "pw"));

        mailbox.StartBatch();
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(
                mailbox.CreateContact({{"lastName", "Person " + std::to_string(i)}}, 7, {}, std::nullopt), i);
        }
        EXPECT_EQ(
            mailbox.AddMessage(MemoryMessageStream("Subject: batch"), 2, "", {}, unixEpoch, std::nullopt), 5);
        Tarvik::Xml::Document answer = mailbox.ExecuteBatchRequest(std::nullopt);
        EXPECT_FALSE(mailbox.InBatchMode());
        ASSERT_NE(mailbox.ExecutedBatch(), nullptr);
        EXPECT_EQ(server.Problems(), std::vector<std::string>());

        EXPECT_TRUE(Mailbox::HasFault(answer));
        EXPECT_EQ(Mailbox::GetCreateContactResult(answer, 0), 600);
        EXPECT_EQ(Mailbox::GetCreateContactResult(answer, 3), 603);
        EXPECT_EQ(Mailbox::GetAddMsgResult(answer, 5), 700);
        try {
            Mailbox::GetCreateContactResult(answer, 2);
            ADD_FAILURE() << "no exception";
        } catch (const TarvikException& fault) {
            EXPECT_EQ(fault.Code(), "service.INVALID_REQUEST");
            EXPECT_EQ(fault.Message(), "invalid request: contact must have fields");
        }
        EXPECT_EQ(FaultCode([&] { Mailbox::GetCreateContactResult(answer, 4); }), "contact_id_not_returned");
        EXPECT_EQ(FaultCode([&] { Mailbox::GetAddMsgResult(answer, 0); }), "message not added");
        EXPECT_EQ(FaultCode([&] { Mailbox::GetSetAppointmentResult(answer, 1); }), "message not added");

        // The counter goes on in the next batch.
        mailbox.StartBatch();
        EXPECT_EQ(mailbox.CreateContact({{"lastName", "Next"}}, 7, {}, std::nullopt), 6);
        EXPECT_EQ(mailbox.ExecutedBatch(), nullptr);
    }
}

TEST_F(MailboxTest, ExecutingWithoutABatchThrowsAndLeavesBatchModeOff) {
    Mailbox mailbox("127.0.0.1", TestSupport::FreePort(), false, false);
    EXPECT_EQ(FaultCode([&] { mailbox.ExecuteBatchRequest(std::nullopt); }), "ExecuteBatchRequest failed");
    EXPECT_FALSE(mailbox.InBatchMode());
    Tarvik::Rpc::GetInfoRequest request;
    EXPECT_EQ(mailbox.AddToBatch(request), -1);
}

TEST_F(MailboxTest, AdministrativeModeUsesTheAdminServiceAndActsForTheTargetAccount) {
    ImportParams& params = GetImportParams();
    params.adminMode = params.isAdmin = true;
    ScriptedHttpResponder server(Scenario("admin-mailbox.http"));
    Mailbox mailbox("127.0.0.1", server.Port(), false, false);
    ASSERT_TRUE(mailbox.Authenticate("admin@example.com", "secret"));
    EXPECT_EQ(mailbox.Session().sessionId, "91");
    EXPECT_EQ(params.serverVersion, "7.1.4");
    std::unique_ptr<FolderInfo> root = mailbox.GetRootFolder("bob@example.com");
    ASSERT_TRUE(root);
    EXPECT_EQ(mailbox.FindChildFolder(*root, 1, "inbox")->id, 2);
    EXPECT_EQ(server.Problems(), std::vector<std::string>());
}

}  // namespace
