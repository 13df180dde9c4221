#include "tarvik/Request.h"

#include "runtime/Text.h"
#include "tarvik/TarvikException.h"
#include "tarvik/Vocabulary.h"

namespace Tarvik::Rpc {

namespace {

constexpr std::string_view envelopeTemplate =
    "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\">"
    "<soap:Header><context xmlns=\"urn:tarvik\"><nonotify /><noqualify /><nosession "
    "/></context></soap:Header>"
    "<soap:Body></soap:Body></soap:Envelope>";

Xml::Document ParseEnvelope(std::string_view text) {
    std::optional<Xml::Document> document = Xml::Document::Parse(text, nullptr, {.keepBlankText = true});
    if (!document) {
        throw TarvikException(LookupText("ERR_FAILED_XMLDOM"), "");
    }
    document->SetSelectionNamespaces(RequestNamespaces());
    return std::move(*document);
}

bool IsRefusedControlCharacter(char c) {
    auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 31 && c != '\t' && c != '\n' && c != '\r';
}

}  // namespace

Request::Request() : document_(ParseEnvelope(envelopeTemplate)) {}

Xml::Node Request::AppendRequestElement(std::string_view name, std::string_view namespaceUri) {
    Xml::Node element = document_.CreateElement(name);
    element.SetAttribute(Names::Xmlns, namespaceUri);
    return document_.SelectSingleNode("//soap:Body").AppendChild(element);
}

Xml::Node Request::AppendTextElement(Xml::Node parent, std::string_view name, std::string_view text) {
    Xml::Node child = parent.AppendElement(name);
    child.SetText(text);
    return child;
}

void Request::SetSessionId(const std::optional<std::string>& sessionId) {
    StampContext(Names::SessionId, sessionId, false);
}

void Request::SetAuthToken(const std::optional<std::string>& authToken) {
    StampContext(Names::AuthToken, authToken, false);
}

void Request::SetTargetAccount(const std::optional<std::string>& accountName) {
    if (accountName) {
        StampContext(Names::Account, accountName, true);
    }
}

void Request::StampContext(std::string_view name, const std::optional<std::string>& value, bool byName) {
    std::string path = "/soap:Envelope/soap:Header/l:context";
    Xml::Node context = document_.SelectSingleNode(path);
    Xml::Node old = document_.SelectSingleNode(path + "/l:" + std::string(name));
    if (context && old) {
        old.Remove();
    }
    Xml::Node element = document_.CreateElement(name, Ns::Tarvik);
    if (byName) {
        element.SetAttribute(Names::By, Names::Name);
    }
    if (value && !value->empty()) {
        element.SetText(*value);
    }
    if (!context) {
        context = document_.CreateElement(Names::Context, Ns::Tarvik);
        document_.SelectSingleNode("//soap:Header").AppendChild(context);
    }
    context.AppendChild(element);
}

void Request::ReloadWithoutControlCharacters() {
    std::string text = document_.ToString();
    // In UTF-8 these bytes never occur inside a multi-byte sequence, so bytewise replacement is safe.
    for (char& c : text) {
        if (IsRefusedControlCharacter(c)) {
            c = ' ';
        }
    }
    document_ = ParseEnvelope(text);
}

}  // namespace Tarvik::Rpc
