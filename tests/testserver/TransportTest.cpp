// HTTP matters: TLS, many clients at once, the upload service's refusals, the downloads page, a
// restart on the same database, and the dump.

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "tests/support/ReferenceServer.h"
#include "tests/testserver/TestClient.h"

namespace TestServerTests {
namespace {

using TestSupport::ReferenceServer;
using TestSupport::ReferenceServerOptions;

std::string AddMsg(const std::string& token, const std::string& folder = "2") {
    return "<AddMsgRequest xmlns=\"urn:tarvikMail\"><m aid=\"" + token + "\" l=\"" + folder +
           "\"/></AddMsgRequest>";
}

TEST(TransportTest, ServesHttpsWithTheGivenCertificate) {
    ReferenceServer server{ReferenceServerOptions{.tls = true}};
    ASSERT_EQ(server.BaseUrl().rfind("https://", 0), 0u);
    TestClient client{server};
    client.Login("user@example.com");
    EXPECT_EQ(client.Call(AddMsg(client.UploadToken(SimpleMessage()))).FaultCode(), "");

    httplib::Client verifying(server.BaseUrl());
    verifying.set_ca_cert_path(server.CertificatePath().c_str());
    verifying.enable_server_certificate_verification(true);
    EXPECT_TRUE(verifying.Get("/tarvik/downloads/index.html")) << "the certificate is valid for 127.0.0.1";

    httplib::Client plain("http://127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_FALSE(plain.Get("/tarvik/downloads/index.html")) << "no plain HTTP on an HTTPS port";
}

TEST(TransportTest, ServesManyClientsAtOnce) {
    ReferenceServer server;
    constexpr int Clients = 8;
    constexpr int Messages = 15;
    std::vector<std::string> ids[Clients];
    std::vector<std::thread> threads;
    for (int c = 0; c < Clients; ++c) {
        threads.emplace_back([&, c] {
            TestClient client{server};
            client.Login("user@example.com");
            for (int m = 0; m < Messages; ++m) {
                Answer answer = client.Call(AddMsg(
                    client.UploadToken(SimpleMessage("c" + std::to_string(c) + "m" + std::to_string(m)))));
                ids[c].push_back(answer.Text("//mail:m/@id"));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::set<std::string> unique;
    for (const auto& list : ids) {
        unique.insert(list.begin(), list.end());
    }
    unique.erase("");
    EXPECT_EQ(unique.size(), static_cast<size_t>(Clients * Messages));
    EXPECT_EQ(server.Dump("user@example.com", false)["messages"].size(),
              static_cast<size_t>(Clients * Messages));
}

TEST(TransportTest, UploadServiceRefusesWhatItCannotTake) {
    ReferenceServer server{ReferenceServerOptions{.config = R"({"maxUploadBytes": 2000, "accounts": [
        {"name": "user@example.com", "password": "secret"},
        {"name": "admin@example.com", "password": "secret", "admin": true}]})"}};
    TestClient client{server};
    std::string userToken = client.Login("user@example.com");
    EXPECT_EQ(client.Upload("").status, 200) << "an empty message uploads";
    EXPECT_EQ(client.Upload("x", "TV_AUTH_TOKEN", std::string()).body, "401,'no valid authtoken present'");
    EXPECT_EQ(client.Upload("x", "TV_ADMIN_AUTH_TOKEN").status, 401)
        << "an account token in the admin cookie";
    EXPECT_EQ(client.Upload(std::string(3000, 'x')).status, 413);

    httplib::Client http(server.BaseUrl());
    httplib::Headers cookie = {{"Cookie", "TV_AUTH_TOKEN=" + userToken}};
    struct Case {
        const char* name;
        std::string path;
        std::string body;
        std::string contentType;
    } cases[] = {
        {"other format", "/service/upload?fmt=json",
         "--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x\"\r\n\r\nx\r\n--b--\r\n",
         "multipart/form-data; boundary=b"},
        {"not a form", "/service/upload?fmt=raw", "raw bytes", "application/octet-stream"},
        {"no file", "/service/upload?fmt=raw",
         "--b\r\nContent-Disposition: form-data; name=\"requestId\"\r\n\r\nx\r\n--b--\r\n",
         "multipart/form-data; boundary=b"},
        {"cut short", "/service/upload?fmt=raw",
         "--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x\"\r\n\r\nx",
         "multipart/form-data; boundary=b"},
        {"encoded file", "/service/upload?fmt=raw",
         "--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x\"\r\nContent-Transfer-Encoding: "
         "base64\r\n\r\neA==\r\n--b--\r\n",
         "multipart/form-data; boundary=b"},
    };
    for (const Case& c : cases) {
        httplib::Result result = http.Post(c.path.c_str(), cookie, c.body, c.contentType.c_str());
        ASSERT_TRUE(result) << c.name;
        EXPECT_EQ(result->status, 400) << c.name << ": " << result->body;
        EXPECT_EQ(std::count(result->body.begin(), result->body.end(), ','), 1)
            << c.name << ": " << result->body;
    }

    client.AdminLogin("admin@example.com");
    EXPECT_EQ(client.Upload("x", "TV_ADMIN_AUTH_TOKEN").status, 200);
}

TEST(TransportTest, ServesTheConfiguredDownloadsPage) {
    const std::string page =
        "<html><body><A HREF=\"/downloads/tvkimport-REROZA-2.0.tar.gz\">tvkimport REROZA "
        "2.0</A></body></html>";
    nlohmann::json config = nlohmann::json::parse(ReferenceServer::DefaultConfig());
    config["downloadsPage"] = page;
    ReferenceServer server{ReferenceServerOptions{.config = config.dump(), .scenario = R"({"rules": [
        {"operation": "downloads", "occurrence": 2, "action": "httpError", "status": 404}]})"}};
    httplib::Client http(server.BaseUrl());
    httplib::Result first = http.Get("/tarvik/downloads/index.html");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->body, page);
    EXPECT_EQ(first->get_header_value("Content-Type"), "text/html");
    EXPECT_EQ(http.Get("/tarvik/downloads/index.html")->status, 404);
    EXPECT_EQ(http.Get("/tarvik/downloads/other.html")->status, 404);
}

TEST(TransportTest, KeepsContentButNotSessionsAcrossARestart) {
    ReferenceServer server;
    TestClient client{server};
    client.Login("user@example.com");
    std::string folder =
        client
            .Call(
                "<CreateFolderRequest xmlns=\"urn:tarvikMail\"><folder name=\"Keep\" l=\"1\"/>"
                "</CreateFolderRequest>")
            .Text("//mail:folder/@id");
    client.Call(AddMsg(client.UploadToken(SimpleMessage()), folder));
    nlohmann::ordered_json before = server.Dump("user@example.com");

    server.Restart();
    EXPECT_EQ(server.Dump("user@example.com"), before);
    EXPECT_EQ(client.Call("<GetTagRequest xmlns=\"urn:tarvikMail\"/>").FaultCode(), "service.AUTH_REQUIRED");
    client.Login("user@example.com");
    Answer again = client.Call(
        "<CreateFolderRequest xmlns=\"urn:tarvikMail\"><folder name=\"keep\" l=\"1\"/>"
        "</CreateFolderRequest>");
    EXPECT_EQ(again.FaultCode(), "mail.ALREADY_EXISTS");
    Answer next = client.Call(AddMsg(client.UploadToken(SimpleMessage()), folder));
    EXPECT_GT(std::stoll(next.Text("//mail:m/@id")), std::stoll(folder)) << "ids go on where they stopped";
}

TEST(TransportTest, DumpIsDeterministicAndReportsUnknownAccounts) {
    ReferenceServer server;
    TestClient client{server};
    client.Login("user@example.com");
    // The same messages in a different order give the same dump apart from ids.
    for (const char* subject : {"b", "a"}) {
        client.Call(AddMsg(client.UploadToken(SimpleMessage(subject))));
    }
    nlohmann::ordered_json dump = server.Dump("user@example.com");
    EXPECT_EQ(dump["messages"][0]["subject"], "a") << "same folder and date: ordered by content hash";
    EXPECT_EQ(dump.dump(), server.Dump("USER@example.com").dump());
    EXPECT_FALSE(server.Dump("user@example.com", false)["messages"][0].contains("mime"));

    TestSupport::CommandResult unknown =
        TestSupport::RunCommand({ReferenceServer::Binary().string(), "dump", "--db",
                                 server.DatabasePath().string(), "--account", "x@y.z"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("no account x@y.z"), std::string::npos);
    TestSupport::CommandResult all = TestSupport::RunCommand(
        {ReferenceServer::Binary().string(), "dump", "--db", server.DatabasePath().string()});
    EXPECT_EQ(nlohmann::json::parse(all.out)["accounts"].size(), 2u);
    EXPECT_EQ(TestSupport::RunCommand({ReferenceServer::Binary().string(), "--port", "x"}).exitCode, 2);
}

}  // namespace
}  // namespace TestServerTests
