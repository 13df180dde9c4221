// BatchRequest: requests run in order, each answered under its request id; a failed request
// becomes a fault carrying that id while the others go on.

#include <gtest/gtest.h>

#include "tests/support/ReferenceServer.h"
#include "tests/testserver/TestClient.h"

namespace TestServerTests {
namespace {

using TestSupport::ReferenceServer;
using TestSupport::ReferenceServerOptions;

std::string AddMsg(const std::string& idAttribute, const std::string& id, const std::string& token,
                   const std::string& folder = "2") {
    return "<AddMsgRequest xmlns=\"urn:tarvikMail\" " + idAttribute + "=\"" + id + "\"><m aid=\"" + token +
           "\" l=\"" + folder + "\" d=\"0\"/></AddMsgRequest>";
}

std::string Batch(const std::string& requests) {
    return "<BatchRequest xmlns=\"urn:tarvik\">" + requests + "</BatchRequest>";
}

TEST(BatchTest, AnswersEveryRequestUnderItsIdAndGoesOnAfterFaults) {
    ReferenceServer server;
    TestClient client{server};
    client.Login("user@example.com");
    Answer answer =
        client.Call(Batch(AddMsg("requestId", "10", client.UploadToken(SimpleMessage("first"))) +
                          AddMsg("requestId", "11", client.UploadToken(SimpleMessage("lost")), "999") +
                          "<CreateContactRequest xmlns=\"urn:tarvikMail\" requestId=\"12\"><cn "
                          "l=\"7\"/></CreateContactRequest>" +
                          "<CreateContactRequest xmlns=\"urn:tarvikMail\" requestId=\"13\"><cn l=\"7\"><a "
                          "n=\"email\">a@b.org</a></cn>"
                          "</CreateContactRequest>" +
                          "<SetTaskRequest xmlns=\"urn:tarvikMail\" requestId=\"14\" l=\"15\"><default "
                          "ptst=\"NE\"><m><inv method=\"REQUEST\" "
                          "fb=\"B\" transp=\"O\" allDay=\"1\" name=\"Call\" loc=\"\" percentComplete=\"0\" "
                          "priority=\"5\" status=\"NEED\"/>"
                          "</m></default></SetTaskRequest>" +
                          "<BatchRequest xmlns=\"urn:tarvik\" requestId=\"15\"/>" +
                          AddMsg("requestId", "16", client.UploadToken(SimpleMessage("last")))));
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.FaultCode(), "");
    EXPECT_FALSE(answer.Text("//mail:AddMsgResponse[@requestId=\"10\"]//mail:m/@id").empty()) << answer.body;
    EXPECT_EQ(answer.ItemFaultCode("11"), "mail.NO_SUCH_FOLDER");
    EXPECT_EQ(answer.ItemFaultCode("12"), "service.INVALID_REQUEST");
    EXPECT_EQ(answer.Text("//soap:Fault[@requestId=\"12\"]//soap:Text"),
              "invalid request: contact must have fields");
    EXPECT_FALSE(answer.Text("//mail:CreateContactResponse[@requestId=\"13\"]//mail:cn/@id").empty());
    EXPECT_FALSE(answer.Text("//mail:SetTaskResponse[@requestId=\"14\"]//mail:default/@id").empty());
    EXPECT_EQ(answer.ItemFaultCode("15"), "service.INVALID_REQUEST");
    EXPECT_FALSE(answer.Text("//mail:AddMsgResponse[@requestId=\"16\"]//mail:m/@id").empty());

    nlohmann::ordered_json dump = server.Dump("user@example.com");
    EXPECT_EQ(dump["messages"].size(), 2u);
    EXPECT_EQ(dump["contacts"].size(), 1u);
    EXPECT_EQ(dump["tasks"].size(), 1u);
    std::vector<nlohmann::json> requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back()["children"].size(), 7u);
    EXPECT_EQ(requests.back()["children"][1]["result"], "mail.NO_SUCH_FOLDER");
}

TEST(BatchTest, ServersBeforeVersionFiveUseTheIdAttribute) {
    ReferenceServer server{ReferenceServerOptions{.config = R"({"serverVersion": "4.5.10_GA_1234",
        "accounts": [{"name": "user@example.com", "password": "secret"}]})"}};
    TestClient client{server};
    client.Login("user@example.com");
    Answer answer = client.Call(
        Batch(AddMsg("id", "0", client.UploadToken(SimpleMessage())) + AddMsg("id", "1", "0000:unknown")));
    EXPECT_FALSE(answer.Text("//mail:AddMsgResponse[@id=\"0\"]//mail:m/@id").empty()) << answer.body;
    EXPECT_EQ(answer.ItemFaultCode("1", "id"), "mail.NO_SUCH_UPLOAD");
    // requestId means nothing to such a server: the batch cannot be answered item by item.
    EXPECT_EQ(client.Call(Batch(AddMsg("requestId", "2", client.UploadToken(SimpleMessage())))).FaultCode(),
              "service.INVALID_REQUEST");
}

TEST(BatchTest, RefusesABatchWhoseResultsCouldNotBeMatched) {
    ReferenceServer server;
    TestClient client{server};
    client.Login("user@example.com");
    std::string token = client.UploadToken(SimpleMessage());
    for (const std::string& requests :
         {AddMsg("requestId", "1", token) + AddMsg("requestId", "1", token),
          AddMsg("requestId", "1", token) + "<GetTagRequest xmlns=\"urn:tarvikMail\"/>"}) {
        EXPECT_EQ(client.Call(Batch(requests)).FaultCode(), "service.INVALID_REQUEST");
    }
    EXPECT_EQ(server.Dump("user@example.com")["messages"].size(), 0u)
        << "nothing of a refused batch is stored";
    Answer empty = client.Call(Batch(""));
    ASSERT_TRUE(empty.document);
    EXPECT_TRUE(empty.document->SelectSingleNode("/soap:Envelope/soap:Body/l:BatchResponse")) << empty.body;
    EXPECT_EQ(client.Call(Batch(""), CallOptions{.token = std::string()}).FaultCode(),
              "service.AUTH_REQUIRED");
}

}  // namespace
}  // namespace TestServerTests
