#pragma once
// A raw HTTP client for the server tests: SOAP envelopes built by hand, uploads in the importer's
// exact form, answers parsed with the XML module. Deliberately independent of the product's
// protocol client, so that the server is checked against the wire format itself.

#include <httplib.h>

#include <optional>
#include <string>

#include "tests/support/ReferenceServer.h"
#include "xml/Document.h"

namespace TestServerTests {

struct Answer {
    int status = 0;  // 0 when the connection failed
    httplib::Error error = httplib::Error::Success;
    std::string body;
    std::optional<Tarvik::Xml::Document> document;  // parsed body, prefixes soap, l, mail, account, admin

    // XPath text of the first match, empty when none.
    std::string Text(const std::string& xpath) const;
    // The fault code of a whole-request fault, empty when there is none.
    std::string FaultCode() const;
    // The fault code of the batch item with this request id, empty when it succeeded.
    std::string ItemFaultCode(const std::string& requestId, const std::string& attribute = "requestId") const;
};

struct CallOptions {
    std::optional<std::string> token = std::nullopt;          // default: the client's token
    std::optional<std::string> targetAccount = std::nullopt;  // context account by="name"
    bool admin = false;                                       // /service/admin/soap/
};

class TestClient {
  public:
    explicit TestClient(const TestSupport::ReferenceServer& server);

    Answer Post(const std::string& path, const std::string& body,
                const std::string& contentType = "application/soap+xml; charset=utf-8");
    // Wraps request XML in an envelope with the context header and posts it.
    Answer Call(const std::string& requestXml, const CallOptions& options = {});

    // Logs on (the account or the admin service) and keeps the token; fails the test otherwise.
    std::string Login(const std::string& account, const std::string& password = "secret");
    std::string AdminLogin(const std::string& account, const std::string& password = "secret");

    // Uploads content as the importer does (boundary with '$' and '%', requestId part, binary file
    // part) and returns the raw answer.
    Answer Upload(const std::string& content, const std::string& cookieName = "TV_AUTH_TOKEN",
                  std::optional<std::string> token = std::nullopt);
    // Uploads and returns the token, failing the test when there is none.
    std::string UploadToken(const std::string& content, const std::string& cookieName = "TV_AUTH_TOKEN");

    std::string token;

  private:
    httplib::Client http_;
};

// Envelope around one request element, with the given context entries.
std::string Envelope(const std::string& requestXml, const std::string& token,
                     const std::optional<std::string>& targetAccount);

// A small valid message.
std::string SimpleMessage(const std::string& subject = "Hello");

}  // namespace TestServerTests
