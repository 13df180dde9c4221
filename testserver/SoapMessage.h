#pragma once
// SOAP 1.2 envelopes as the server reads and writes them: the request's context header (auth token,
// session id, target account) and its one body element; answers wrapped in an envelope; faults with
// their code in a urn:tarvik Error detail.

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "testserver/Fault.h"
#include "testserver/XmlWriter.h"
#include "xml/Document.h"

namespace Tarvik::TestServer {

inline constexpr const char* SoapNs = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr const char* TarvikNs = "urn:tarvik";
inline constexpr const char* MailNs = "urn:tarvikMail";
inline constexpr const char* AccountNs = "urn:tarvikAccount";
inline constexpr const char* AdminNs = "urn:tarvikAdmin";

struct SoapRequest {
    Xml::Document document;
    std::string authToken;
    std::string sessionId;
    std::optional<std::string> targetAccount;  // context account by="name"
    Xml::Node body;                            // the one request element of soap:Body
};

// Parses and checks an envelope; throws service.PARSE_ERROR for text that is not XML and
// service.INVALID_REQUEST for XML that is not a well-formed request envelope.
SoapRequest ParseSoapRequest(std::string_view text);

// The answer envelope around body XML.
std::string SoapEnvelope(std::string_view bodyXml);

// The attribute that ties an answer inside a batch to its request ("requestId" or "id", and the
// value the request carried).
using BatchId = std::optional<std::pair<std::string, std::string>>;

// Writes a soap:Fault element (with the batch id attribute when given).
void WriteFault(XmlWriter& out, const Fault& fault, const BatchId& batchId);

// Starts a response element in its namespace, with the batch id attribute when given.
XmlWriter& OpenResponse(XmlWriter& out, std::string_view name, std::string_view ns, const BatchId& batchId);

}  // namespace Tarvik::TestServer
