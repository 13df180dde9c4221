// Scripted faults: each action of a scenario, as a client meets it on the wire.

#include <gtest/gtest.h>

#include <chrono>

#include "tests/support/ReferenceServer.h"
#include "tests/testserver/TestClient.h"

namespace TestServerTests {
namespace {

using TestSupport::ReferenceServer;
using TestSupport::ReferenceServerOptions;

ReferenceServerOptions WithScenario(const std::string& rules) {
    return ReferenceServerOptions{.scenario = R"({"rules": [)" + rules + "]}"};
}

std::string AddMsgBatch(TestClient& client, int count) {
    std::string requests;
    for (int i = 0; i < count; ++i) {
        requests += "<AddMsgRequest xmlns=\"urn:tarvikMail\" requestId=\"" + std::to_string(i) +
                    "\"><m aid=\"" + client.UploadToken(SimpleMessage("m" + std::to_string(i))) +
                    "\" l=\"2\"/></AddMsgRequest>";
    }
    return "<BatchRequest xmlns=\"urn:tarvik\">" + requests + "</BatchRequest>";
}

size_t StoredMessages(const ReferenceServer& server) {
    return server.Dump("user@example.com")["messages"].size();
}

TEST(ScenarioTest, FaultsChosenRequestsInsideBatches) {
    ReferenceServer server{WithScenario(R"(
        {"operation": "AddMsgRequest", "requestId": "1", "action": "fault", "code": "mail.QUOTA_EXCEEDED", "reason": "full"},
        {"operation": "AddMsgRequest", "account": "user@example.com", "occurrence": 3, "action": "fault",
         "code": "service.TEMPORARILY_UNAVAILABLE"},
        {"operation": "GetFolderRequest", "account": "admin@example.com", "action": "fault", "code": "service.FAILURE"})")};
    TestClient client{server};
    client.Login("user@example.com");
    Answer answer = client.Call(AddMsgBatch(client, 4));
    EXPECT_EQ(answer.ItemFaultCode("0"), "");
    EXPECT_EQ(answer.ItemFaultCode("1"), "mail.QUOTA_EXCEEDED");
    EXPECT_EQ(answer.Text("//soap:Fault[@requestId=\"1\"]//soap:Text"), "full");
    EXPECT_EQ(answer.ItemFaultCode("2"), "service.TEMPORARILY_UNAVAILABLE");
    EXPECT_EQ(answer.ItemFaultCode("3"), "");
    EXPECT_EQ(StoredMessages(server), 2u);
    EXPECT_EQ(client.Call("<GetFolderRequest xmlns=\"urn:tarvikMail\"/>").FaultCode(), "")
        << "another account's rule";
    std::vector<nlohmann::json> requests = server.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[requests.size() - 2]["scenario"],
              "fault mail.QUOTA_EXCEEDED, fault service.TEMPORARILY_UNAVAILABLE");
}

TEST(ScenarioTest, AnswersHttpErrorsBeforeOrAfterCarryingTheRequestOut) {
    ReferenceServer server{WithScenario(R"(
        {"operation": "BatchRequest", "occurrence": 1, "action": "httpError"},
        {"operation": "BatchRequest", "occurrence": 2, "action": "httpError", "status": 503, "when": "after"},
        {"operation": "upload", "occurrence": 3, "action": "answer", "body": "200,'null'"})")};
    TestClient client{server};
    client.Login("user@example.com");
    Answer before = client.Call(AddMsgBatch(client, 1));
    EXPECT_EQ(before.status, 500);
    EXPECT_NE(before.body.find("<html>"), std::string::npos);
    EXPECT_EQ(StoredMessages(server), 0u);
    Answer after = client.Call(AddMsgBatch(client, 1));
    EXPECT_EQ(after.status, 503);
    EXPECT_EQ(StoredMessages(server), 1u);
    EXPECT_EQ(client.Upload(SimpleMessage()).body, "200,'null'") << "an upload answer without token";
}

TEST(ScenarioTest, ClosesConnectionsBeforeAfterOrInTheMiddleOfTheAnswer) {
    ReferenceServer server{WithScenario(R"(
        {"operation": "BatchRequest", "occurrence": 1, "action": "close"},
        {"operation": "BatchRequest", "occurrence": 2, "action": "close", "when": "after"},
        {"operation": "BatchRequest", "occurrence": 3, "action": "close", "when": "middle"},
        {"operation": "upload", "occurrence": 4, "action": "close"})")};
    TestClient client{server};
    client.Login("user@example.com");
    Answer before = client.Call(AddMsgBatch(client, 1));
    EXPECT_EQ(before.status, 0) << before.body;
    EXPECT_EQ(StoredMessages(server), 0u);
    Answer after = client.Call(AddMsgBatch(client, 1));
    EXPECT_EQ(after.status, 0) << after.body;
    EXPECT_EQ(StoredMessages(server), 1u) << "carried out, but the client never learns of it";
    Answer middle = client.Call(AddMsgBatch(client, 1));
    EXPECT_EQ(middle.status, 0) << middle.body;
    EXPECT_EQ(middle.error, httplib::Error::Read);
    EXPECT_EQ(StoredMessages(server), 2u);
    EXPECT_EQ(client.Upload(SimpleMessage()).status, 0);
    EXPECT_EQ(client.Call("<GetInfoRequest xmlns=\"urn:tarvikAccount\"/>").FaultCode(), "")
        << "later requests are served";
}

TEST(ScenarioTest, DelaysAndExpiresSessions) {
    ReferenceServer server{WithScenario(R"(
        {"operation": "GetTagRequest", "action": "delay", "ms": 300},
        {"operation": "GetFolderRequest", "occurrence": 2, "action": "expireSession"},
        {"operation": "upload", "occurrence": 2, "action": "expireSession"})")};
    TestClient client{server};
    client.Login("user@example.com");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Call("<GetTagRequest xmlns=\"urn:tarvikMail\"/>").FaultCode(), "");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));

    const std::string getFolder = "<GetFolderRequest xmlns=\"urn:tarvikMail\"/>";
    EXPECT_EQ(client.Call(getFolder).FaultCode(), "");
    EXPECT_EQ(client.Call(getFolder).FaultCode(), "service.AUTH_EXPIRED");
    EXPECT_EQ(client.Call(getFolder).FaultCode(), "service.AUTH_EXPIRED") << "the session stays expired";
    client.Login("user@example.com");
    EXPECT_EQ(client.Call(getFolder).FaultCode(), "");

    EXPECT_EQ(client.Upload(SimpleMessage()).status, 200);
    EXPECT_EQ(client.Upload(SimpleMessage()).body, "401,'authtoken expired'");
    EXPECT_EQ(client.Upload(SimpleMessage()).body, "401,'authtoken expired'");
}

TEST(ScenarioTest, ServerRefusesToStartWithAFaultyScenario) {
    EXPECT_THROW(ReferenceServer{WithScenario(R"({"action": "fault", "cod": "x"})")}, std::runtime_error);
}

}  // namespace
}  // namespace TestServerTests
