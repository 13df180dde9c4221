#include <gtest/gtest.h>

#include "runtime/ImportParams.h"
#include "runtime/Log.h"
#include "tarvik/AdminSession.h"
#include "tarvik/TarvikFaults.h"
#include "tests/support/ScriptedHttpResponder.h"
#include "tests/tarvik/Golden.h"

namespace {

using Tarvik::Admin::AdminSession;
using TestSupport::ScriptedHttpResponder;

class AdminSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ImportParams& params = GetImportParams();
        // The front end runs the check after the destination logon found an administrator.
        params.adminMode = params.isAdmin = true;
        params.isDomainAdmin = false;
        OpenLogFile((work_ / "run.log").string());
    }
    void TearDown() override { CloseLogFile(); }

    TestSupport::TempDir work_;
};

TEST_F(AdminSessionTest, ChecksTheAdministratorAndLooksUpTheAccountAndItsDomain) {
    ScriptedHttpResponder server(TestSupport::TarvikTestDir() / "scenarios" / "admin-session.http");
    AdminSession& admin = AdminSession::Open("127.0.0.1", server.Port(), false, false);
    ASSERT_TRUE(admin.AdminAuthenticate("admin@example.com", "secret"));
    EXPECT_FALSE(GetImportParams().isAdmin);
    EXPECT_TRUE(GetImportParams().isDomainAdmin);
    EXPECT_EQ(GetImportParams().serverVersion, "8.0.2");
    EXPECT_EQ(admin.AccountName(), "admin@example.com");

    std::unique_ptr<Tarvik::Admin::Account> account = admin.GetAdminAccount("bob");
    EXPECT_EQ(account->name, "bob@example.com");
    EXPECT_EQ(account->id, "4e1d-77");
    EXPECT_EQ(account->attributes,
              (std::map<std::string, std::string>{{"tarvikMailHost", "mail1"}, {"cn", "Bob"}}));
    EXPECT_NE(TestSupport::ReadFile(work_ / "run.log").find("Unable to fetch value for description"),
              std::string::npos);

    EXPECT_EQ(admin.GetDomainPublicHostname("example.com"), "mail.example.com");
    EXPECT_EQ(admin.GetDomainPublicHostname("example.org"), "");
    EXPECT_THROW(admin.GetAdminAccount("nobody@example.com"), Tarvik::TarvikAccountException::NoSuchAccount);
    EXPECT_EQ(server.Problems(), std::vector<std::string>());
}

TEST_F(AdminSessionTest, OpeningAnotherSessionDropsTheFirstWithItsTokens) {
    ScriptedHttpResponder server(TestSupport::TarvikTestDir() / "scenarios" / "admin-session.http");
    AdminSession& first = AdminSession::Open("127.0.0.1", server.Port(), false, false);
    ASSERT_TRUE(first.AdminAuthenticate("admin@example.com", "secret"));
    AdminSession& second = AdminSession::Open("127.0.0.1", 1, false, false);
    EXPECT_EQ(AdminSession::Current(), &second);
    EXPECT_EQ(second.Session().authToken, std::nullopt);
    EXPECT_EQ(second.Connection().Port(), 1u);
}

}  // namespace
