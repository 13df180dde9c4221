#include "testserver/SoapMessage.h"

#include <set>

namespace Tarvik::TestServer {

namespace {

bool Is(const Xml::Node& node, std::string_view localName, std::string_view ns) {
    return node.IsElement() && node.LocalName() == localName && node.NamespaceUri() == ns;
}

// Children of the envelope, body and context may only be elements (blank text is dropped by the
// parser).
void OnlyElements(const Xml::Node& parent, const char* what) {
    for (Xml::Node child = parent.FirstChild(); child; child = child.NextSibling()) {
        if (!child.IsElement()) {
            throw Faults::InvalidRequest(std::string("unexpected content in ") + what);
        }
    }
}

void ReadContext(const Xml::Node& context, SoapRequest& request) {
    static const std::set<std::string> known = {"nonotify",  "noqualify", "nosession", "session", "sessionId",
                                                "authToken", "account",   "userAgent", "change",  "format"};
    OnlyElements(context, "the context header");
    std::set<std::string> seen;
    for (const Xml::Node& child : context.ChildElements()) {
        std::string name = child.LocalName();
        if (child.NamespaceUri() != TarvikNs || !known.contains(name)) {
            throw Faults::InvalidRequest("unknown context element " + name);
        }
        if (!seen.insert(name).second) {
            throw Faults::InvalidRequest("context element " + name + " given twice");
        }
        if (name == "authToken") {
            request.authToken = child.Text();
        } else if (name == "sessionId") {
            request.sessionId = child.Text();
        } else if (name == "account") {
            if (child.Attribute("by").value_or("name") != "name") {
                throw Faults::InvalidRequest("context account must be given by name");
            }
            request.targetAccount = child.Text();
            if (request.targetAccount->empty()) {
                throw Faults::InvalidRequest("empty context account");
            }
        }
    }
}

}  // namespace

SoapRequest ParseSoapRequest(std::string_view text) {
    std::string error;
    std::optional<Xml::Document> parsed = Xml::Document::Parse(text, &error);
    if (!parsed) {
        throw Faults::ParseError(error.empty() ? "the request is not XML" : error);
    }
    SoapRequest request{std::move(*parsed), {}, {}, {}, {}};
    Xml::Node envelope = request.document.Root();
    if (!Is(envelope, "Envelope", SoapNs)) {
        throw Faults::InvalidRequest(envelope.LocalName() == "Envelope"
                                         ? "only SOAP 1.2 envelopes are accepted"
                                         : "the document is not a SOAP envelope");
    }
    OnlyElements(envelope, "the envelope");
    std::vector<Xml::Node> parts = envelope.ChildElements();
    size_t next = 0;
    if (next < parts.size() && Is(parts[next], "Header", SoapNs)) {
        OnlyElements(parts[next], "the header");
        for (const Xml::Node& headerEntry : parts[next].ChildElements()) {
            if (Is(headerEntry, "context", TarvikNs)) {
                ReadContext(headerEntry, request);
            }
        }
        ++next;
    }
    if (next + 1 != parts.size() || !Is(parts[next], "Body", SoapNs)) {
        throw Faults::InvalidRequest("the envelope must hold an optional Header and one Body");
    }
    OnlyElements(parts[next], "the body");
    std::vector<Xml::Node> requests = parts[next].ChildElements();
    if (requests.size() != 1) {
        throw Faults::InvalidRequest("the body must hold exactly one request");
    }
    request.body = requests.front();
    return request;
}

std::string SoapEnvelope(std::string_view bodyXml) {
    std::string envelope;
    envelope.reserve(bodyXml.size() + 200);
    envelope += "<soap:Envelope xmlns:soap=\"";
    envelope += SoapNs;
    envelope += "\"><soap:Header><context xmlns=\"urn:tarvik\"/></soap:Header><soap:Body>";
    envelope += bodyXml;
    envelope += "</soap:Body></soap:Envelope>";
    return envelope;
}

XmlWriter& OpenResponse(XmlWriter& out, std::string_view name, std::string_view ns, const BatchId& batchId) {
    out.Open(name).Attribute("xmlns", ns);
    if (batchId) {
        out.Attribute(batchId->first, batchId->second);
    }
    return out;
}

void WriteFault(XmlWriter& out, const Fault& fault, const BatchId& batchId) {
    out.Open("soap:Fault");
    if (batchId) {
        out.Attribute(batchId->first, batchId->second);
    }
    out.Open("soap:Code")
        .TextElement("soap:Value", fault.IsSenderFault() ? "soap:Sender" : "soap:Receiver")
        .Close();
    out.Open("soap:Reason").TextElement("soap:Text", fault.Reason()).Close();
    out.Open("soap:Detail").Open("Error").Attribute("xmlns", TarvikNs);
    out.TextElement("Code", fault.Code()).TextElement("Trace", "tvk-testserver").Close().Close();
    out.Close();
}

}  // namespace Tarvik::TestServer
