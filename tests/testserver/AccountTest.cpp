// Logging on, account information, sessions and their expiry, the admin service and acting for
// another account, and the refusal of malformed requests.

#include <gtest/gtest.h>

#include <thread>

#include "tests/support/ReferenceServer.h"
#include "tests/testserver/TestClient.h"

namespace TestServerTests {
namespace {

using TestSupport::ReferenceServer;
using TestSupport::ReferenceServerOptions;

const char* DirectoryConfig = R"json({
  "serverVersion": "7.1.4_GA_2555",
  "defaultDomain": "example.com",
  "domains": [
    {"name": "example.com", "publicServiceHostname": "mail.example.com"},
    {"name": "other.org", "attrs": {"tarvikDomainStatus": "active"}}
  ],
  "accounts": [
    {"name": "user@example.com", "password": "secret", "quota": 1000, "used": 400,
     "attrs": {"tarvikPrefLocale": "de"}},
    {"name": "admin@example.com", "password": "secret", "admin": true, "domainAdmin": true},
    {"name": "dadmin@example.com", "password": "secret", "domainAdmin": true},
    {"name": "someone@other.org", "password": "secret"}
  ]
})json";

class AccountTest : public ::testing::Test {
  protected:
    ReferenceServer server{ReferenceServerOptions{.config = DirectoryConfig}};
    TestClient client{server};
};

std::string GetInfo() {
    return "<GetInfoRequest xmlns=\"urn:tarvikAccount\"/>";
}
std::string GetFolder() {
    return "<GetFolderRequest xmlns=\"urn:tarvikMail\"/>";
}

TEST_F(AccountTest, LogsOnAndReportsTheAccount) {
    client.Login("user@example.com");
    Answer info = client.Call(GetInfo());
    EXPECT_EQ(info.Text("//account:name"), "user@example.com");
    EXPECT_EQ(info.Text("//account:version"), "7.1.4_GA_2555");
    EXPECT_EQ(info.Text("//account:used"), "400");
    EXPECT_EQ(info.Text("//account:attrs/account:attr[@name=\"tarvikMailQuota\"]"), "1000");
    EXPECT_EQ(info.Text("//account:attr[@name=\"tarvikIsAdminAccount\"]"), "FALSE");
    EXPECT_EQ(info.Text("//account:attr[@name=\"tarvikPrefLocale\"]"), "de");

    // Both administrator flags can be set, as on a real server.
    client.Login("admin@example.com");
    info = client.Call(GetInfo());
    EXPECT_EQ(info.Text("//account:attr[@name=\"tarvikIsAdminAccount\"]"), "TRUE");
    EXPECT_EQ(info.Text("//account:attr[@name=\"tarvikIsDomainAdminAccount\"]"), "TRUE");

    // A name without a domain logs on in the default domain; the answer gives the full name.
    Answer auth = client.Call(
        "<AuthRequest xmlns=\"urn:tarvikAccount\"><account "
        "by=\"name\">USER</account><password>secret</password>"
        "</AuthRequest>",
        CallOptions{.token = std::string()});
    EXPECT_FALSE(auth.Text("//account:sessionId").empty());
    EXPECT_EQ(auth.Text("//account:lifetime"), "172800000");
    client.token = auth.Text("//account:authToken");
    EXPECT_EQ(client.Call(GetInfo()).Text("//account:name"), "user@example.com");
}

TEST_F(AccountTest, RefusesWrongCredentialsAndMissingOrUnknownTokens) {
    auto auth = [&](const std::string& account, const std::string& password) {
        return client.Call("<AuthRequest xmlns=\"urn:tarvikAccount\"><account by=\"name\">" + account +
                           "</account><password>" + password + "</password></AuthRequest>");
    };
    EXPECT_EQ(auth("user@example.com", "wrong").FaultCode(), "account.AUTH_FAILED");
    EXPECT_EQ(auth("nobody@example.com", "secret").FaultCode(), "account.AUTH_FAILED");
    Answer noToken = client.Call(GetInfo(), CallOptions{.token = std::string()});
    EXPECT_EQ(noToken.status, 500);
    EXPECT_EQ(noToken.FaultCode(), "service.AUTH_REQUIRED");
    EXPECT_EQ(client.Call(GetInfo(), CallOptions{.token = std::string("0_forged")}).FaultCode(),
              "service.AUTH_REQUIRED");
}

TEST(AccountExpiryTest, TokensExpireAfterTheirLifetime) {
    ReferenceServer server{ReferenceServerOptions{.config = R"({"tokenLifetimeMs": 400,
        "accounts": [{"name": "user@example.com", "password": "secret"}]})"}};
    TestClient client{server};
    client.Login("user@example.com");
    EXPECT_EQ(client.Call(GetInfo()).FaultCode(), "");
    std::string upload = client.UploadToken(SimpleMessage());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(client.Call(GetInfo()).FaultCode(), "service.AUTH_EXPIRED");
    EXPECT_EQ(client.Upload(SimpleMessage()).body, "401,'authtoken expired'");
    // A new session may use what the old one uploaded: uploads belong to the account.
    client.Login("user@example.com");
    Answer added = client.Call("<AddMsgRequest xmlns=\"urn:tarvikMail\"><m aid=\"" + upload +
                               "\" l=\"2\"/></AddMsgRequest>");
    EXPECT_FALSE(added.Text("//mail:m/@id").empty()) << added.body;
}

TEST_F(AccountTest, RefusesMalformedRequests) {
    client.Login("user@example.com");
    const std::string body = "<soap:Body>" + GetInfo() + "</soap:Body>";
    const std::string soap12 = "xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\"";
    struct Case {
        const char* name;
        std::string text;
        const char* code;
        std::string contentType = "application/soap+xml; charset=utf-8";
    } cases[] = {
        {"not XML", "<soap:Envelope", "service.PARSE_ERROR"},
        {"not an envelope", "<Envelope/>", "service.INVALID_REQUEST"},
        {"SOAP 1.1",
         "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">" + body +
             "</soap:Envelope>",
         "service.INVALID_REQUEST"},
        {"two requests",
         "<soap:Envelope " + soap12 + "><soap:Body>" + GetInfo() + GetInfo() + "</soap:Body></soap:Envelope>",
         "service.INVALID_REQUEST"},
        {"empty body", "<soap:Envelope " + soap12 + "><soap:Body/></soap:Envelope>",
         "service.INVALID_REQUEST"},
        {"unknown request",
         Envelope("<FrobnicateRequest xmlns=\"urn:tarvikMail\"/>", client.token, std::nullopt),
         "service.UNKNOWN_DOCUMENT"},
        {"wrong namespace",
         Envelope("<GetInfoRequest xmlns=\"urn:tarvikMail\"/>", client.token, std::nullopt),
         "service.UNKNOWN_DOCUMENT"},
        {"admin request outside the admin service",
         Envelope("<GetDomainRequest xmlns=\"urn:tarvikAdmin\"><domain "
                  "by=\"name\">example.com</domain></GetDomainRequest>",
                  client.token, std::nullopt),
         "service.UNKNOWN_DOCUMENT"},
        {"token twice",
         "<soap:Envelope " + soap12 + "><soap:Header><context xmlns=\"urn:tarvik\"><authToken>" +
             client.token + "</authToken><authToken>" + client.token +
             "</authToken></context></soap:Header>" + body + "</soap:Envelope>",
         "service.INVALID_REQUEST"},
        {"content type", Envelope(GetInfo(), client.token, std::nullopt), "service.INVALID_REQUEST",
         "text/xml"},
    };
    for (const Case& c : cases) {
        Answer answer = client.Post("/service/soap/", c.text, c.contentType);
        EXPECT_EQ(answer.status, 500) << c.name;
        EXPECT_EQ(answer.FaultCode(), c.code) << c.name << ": " << answer.body;
        EXPECT_FALSE(answer.Text("//soap:Fault/soap:Reason/soap:Text").empty()) << c.name;
    }
}

TEST_F(AccountTest, AdminServiceLooksUpAccountsAndDomains) {
    client.AdminLogin("admin@example.com");
    CallOptions admin{.admin = true};
    Answer account = client.Call(
        "<GetAccountRequest xmlns=\"urn:tarvikAdmin\"><account "
        "by=\"name\">user</account></GetAccountRequest>",
        admin);
    EXPECT_EQ(account.Text("/soap:Envelope/soap:Body/*/admin:account/@name"), "user@example.com");
    EXPECT_FALSE(account.Text("/soap:Envelope/soap:Body/*/admin:account/@id").empty());
    EXPECT_EQ(account.Text("//admin:account/admin:a[@n=\"tarvikMailQuota\"]"), "1000");
    Answer domain = client.Call(
        "<GetDomainRequest xmlns=\"urn:tarvikAdmin\"><domain "
        "by=\"name\">example.com</domain></GetDomainRequest>",
        admin);
    EXPECT_EQ(
        domain.Text("/soap:Envelope/soap:Body/*/admin:domain/admin:a[@n=\"tarvikPublicServiceHostname\"]"),
        "mail.example.com");
    Answer other = client.Call(
        "<GetDomainRequest xmlns=\"urn:tarvikAdmin\"><domain "
        "by=\"name\">other.org</domain></GetDomainRequest>",
        admin);
    EXPECT_TRUE(other.Text("//admin:a[@n=\"tarvikPublicServiceHostname\"]").empty());
    EXPECT_EQ(other.Text("//admin:a[@n=\"tarvikDomainStatus\"]"), "active");

    EXPECT_EQ(client
                  .Call("<GetAccountRequest xmlns=\"urn:tarvikAdmin\"><account "
                        "by=\"name\">ghost@example.com</account>"
                        "</GetAccountRequest>",
                        admin)
                  .FaultCode(),
              "account.NO_SUCH_ACCOUNT");
    EXPECT_EQ(client
                  .Call("<GetDomainRequest xmlns=\"urn:tarvikAdmin\"><domain by=\"name\">nowhere.net</domain>"
                        "</GetDomainRequest>",
                        admin)
                  .FaultCode(),
              "account.NO_SUCH_DOMAIN");
}

TEST_F(AccountTest, AdminServiceKeepsItsLimits) {
    CallOptions admin{.admin = true};
    Answer notAdmin = client.Call(
        "<AuthRequest xmlns=\"urn:tarvikAdmin\"><name>user@example.com</name>"
        "<password>secret</password></AuthRequest>",
        admin);
    EXPECT_EQ(notAdmin.FaultCode(), "account.AUTH_FAILED");

    client.Login("admin@example.com");  // an account session of an administrator is no admin session
    EXPECT_EQ(client.Call(GetInfo(), admin).FaultCode(), "service.PERM_DENIED");

    client.AdminLogin("dadmin@example.com");
    auto lookUp = [&](const std::string& account) {
        return client
            .Call("<GetAccountRequest xmlns=\"urn:tarvikAdmin\"><account by=\"name\">" + account +
                      "</account></GetAccountRequest>",
                  admin)
            .FaultCode();
    };
    EXPECT_EQ(lookUp("user@example.com"), "");
    EXPECT_EQ(lookUp("someone@other.org"), "service.PERM_DENIED");
    EXPECT_EQ(client
                  .Call("<GetDomainRequest xmlns=\"urn:tarvikAdmin\"><domain by=\"name\">other.org</domain>"
                        "</GetDomainRequest>",
                        admin)
                  .FaultCode(),
              "service.PERM_DENIED");
}

TEST_F(AccountTest, ActingForAnotherAccountNeedsTheRight) {
    struct Case {
        const char* actor;
        bool adminSession;
        const char* target;
        const char* code;
    } cases[] = {
        {"user@example.com", false, "user@example.com", ""},
        {"user@example.com", false, "someone@other.org", "service.PERM_DENIED"},
        {"admin@example.com", false, "user@example.com", "service.PERM_DENIED"},
        {"admin@example.com", true, "someone@other.org", ""},
        {"admin@example.com", true, "ghost@example.com", "account.NO_SUCH_ACCOUNT"},
        {"dadmin@example.com", true, "user@example.com", ""},
        {"dadmin@example.com", true, "someone@other.org", "service.PERM_DENIED"},
    };
    for (const Case& c : cases) {
        c.adminSession ? client.AdminLogin(c.actor) : client.Login(c.actor);
        Answer answer =
            client.Call(GetFolder(), CallOptions{.targetAccount = c.target, .admin = c.adminSession});
        EXPECT_EQ(answer.FaultCode(), c.code) << c.actor << " for " << c.target;
    }
    // What an administrator adds for an account lands in that account.
    client.AdminLogin("admin@example.com");
    std::string upload = client.UploadToken(SimpleMessage(), "TV_ADMIN_AUTH_TOKEN");
    Answer added = client.Call(
        "<AddMsgRequest xmlns=\"urn:tarvikMail\"><m aid=\"" + upload + "\" l=\"2\"/></AddMsgRequest>",
        CallOptions{.targetAccount = "someone@other.org", .admin = true});
    EXPECT_EQ(added.FaultCode(), "") << added.body;
    EXPECT_EQ(server.Dump("someone@other.org")["messages"].size(), 1u);
    EXPECT_EQ(server.Dump("admin@example.com")["messages"].size(), 0u);
}

}  // namespace
}  // namespace TestServerTests
