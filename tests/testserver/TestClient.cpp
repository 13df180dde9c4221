#include "tests/testserver/TestClient.h"

#include <gtest/gtest.h>

namespace TestServerTests {

namespace {

Tarvik::Xml::NamespaceBindings Prefixes() {
    return {{"soap", "http://www.w3.org/2003/05/soap-envelope"},
            {"l", "urn:tarvik"},
            {"mail", "urn:tarvikMail"},
            {"account", "urn:tarvikAccount"},
            {"admin", "urn:tarvikAdmin"}};
}

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c == '<' ? "&lt;" : c == '&' ? "&amp;" : std::string(1, c);
    }
    return out;
}

}  // namespace

std::string Answer::Text(const std::string& xpath) const {
    if (!document) {
        return {};
    }
    Tarvik::Xml::Node node = document->SelectSingleNode(xpath);
    return node ? node.Text() : std::string();
}

std::string Answer::FaultCode() const {
    return Text("/soap:Envelope/soap:Body/soap:Fault/soap:Detail/l:Error/l:Code");
}

std::string Answer::ItemFaultCode(const std::string& requestId, const std::string& attribute) const {
    return Text("//soap:Fault[@" + attribute + "=\"" + requestId + "\"]//l:Code");
}

std::string Envelope(const std::string& requestXml, const std::string& token,
                     const std::optional<std::string>& targetAccount) {
    std::string context = "<context xmlns=\"urn:tarvik\"><nonotify /><noqualify /><nosession />";
    if (!token.empty()) {
        context += "<authToken>" + Escape(token) + "</authToken>";
    }
    if (targetAccount) {
        context += "<account by=\"name\">" + Escape(*targetAccount) + "</account>";
    }
    context += "</context>";
    return "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\"><soap:Header>" + context +
           "</soap:Header><soap:Body>" + requestXml + "</soap:Body></soap:Envelope>";
}

std::string SimpleMessage(const std::string& subject) {
    return "From: Alice <alice@example.org>\r\nTo: user@example.com\r\nSubject: " + subject +
           "\r\nMessage-ID: <" + subject +
           "@example.org>\r\nMIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=utf-8\r\n\r\nHello there.\r\n";
}

TestClient::TestClient(const TestSupport::ReferenceServer& server) : http_(server.BaseUrl()) {
    http_.enable_server_certificate_verification(false);
    http_.set_read_timeout(30);
}

Answer TestClient::Post(const std::string& path, const std::string& body, const std::string& contentType) {
    Answer answer;
    httplib::Result result = http_.Post(path.c_str(), body, contentType.c_str());
    answer.error = result.error();
    if (result) {
        answer.status = result->status;
        answer.body = result->body;
        answer.document = Tarvik::Xml::Document::Parse(answer.body);
        if (answer.document) {
            answer.document->SetSelectionNamespaces(Prefixes());
        }
    }
    return answer;
}

Answer TestClient::Call(const std::string& requestXml, const CallOptions& options) {
    return Post(options.admin ? "/service/admin/soap/" : "/service/soap/",
                Envelope(requestXml, options.token.value_or(token), options.targetAccount));
}

std::string TestClient::Login(const std::string& account, const std::string& password) {
    Answer answer = Call("<AuthRequest xmlns=\"urn:tarvikAccount\"><account by=\"name\">" + account +
                             "</account><password>" + password + "</password></AuthRequest>",
                         CallOptions{.token = std::string()});
    token = answer.Text("//account:authToken");
    EXPECT_FALSE(token.empty()) << answer.body;
    return token;
}

std::string TestClient::AdminLogin(const std::string& account, const std::string& password) {
    Answer answer = Call("<AuthRequest xmlns=\"urn:tarvikAdmin\"><name>" + account + "</name><password>" +
                             password + "</password></AuthRequest>",
                         CallOptions{.token = std::string(), .admin = true});
    token = answer.Text("//admin:authToken");
    EXPECT_FALSE(token.empty()) << answer.body;
    return token;
}

Answer TestClient::Upload(const std::string& content, const std::string& cookieName,
                          std::optional<std::string> token) {
    const std::string boundary =
        "--B-00=_0Zq1a$b0%c0D0e0";  // '$' and '%' as the importer's alphabet makes them
    std::string body = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"requestId\"\r\n\r\n" +
                       "frfkh86-rmptai-dn\r\n--" + boundary + "\r\n" +
                       "Content-Disposition: form-data; name=\"kvlib32\"; filename=\"kvlib32.bin\"\r\n"
                       "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: binary\r\n\r\n" +
                       content + "\r\n--" + boundary + "--\r\n";
    httplib::Headers headers = {{"Cookie", cookieName + "=" + token.value_or(this->token)}};
    Answer answer;
    httplib::Result result = http_.Post("/service/upload?fmt=raw", headers, body,
                                        ("multipart/form-data; boundary=" + boundary).c_str());
    answer.error = result.error();
    if (result) {
        answer.status = result->status;
        answer.body = result->body;
    }
    return answer;
}

std::string TestClient::UploadToken(const std::string& content, const std::string& cookieName) {
    Answer answer = Upload(content, cookieName);
    size_t second = answer.body.find(',', answer.body.find(',') + 1);
    EXPECT_EQ(answer.status, 200) << answer.body;
    if (second == std::string::npos || answer.body.size() < second + 3) {
        ADD_FAILURE() << "no upload token in " << answer.body;
        return {};
    }
    return answer.body.substr(second + 2, answer.body.size() - second - 3);
}

}  // namespace TestServerTests
