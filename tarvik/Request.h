#pragma once
// The base of every request to the server: one SOAP 1.2 envelope in its own XML document. The
// envelope's header carries a context element (urn:tarvik) that the session stamps with its session
// id, auth token and, when acting for another account, the target account; the body holds the one
// request element that the subclass appends.

#include <optional>
#include <string>
#include <string_view>

#include "xml/Document.h"

namespace Tarvik::Rpc {

class Request {
  public:
    virtual ~Request() = default;
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    Xml::Document& Document() { return document_; }
    const Xml::Document& Document() const { return document_; }

    // Header stamping: each replaces an earlier element of the same name in the context. An absent
    // value gives an empty element; SetTargetAccount with no name does nothing.
    void SetSessionId(const std::optional<std::string>& sessionId);
    void SetAuthToken(const std::optional<std::string>& authToken);
    void SetTargetAccount(const std::optional<std::string>& accountName);

  protected:
    // Builds the empty envelope. Throws TarvikException (ERR_FAILED_XMLDOM) when it cannot.
    Request();

    // A new request element (plain name, xmlns attribute set to `namespaceUri`), appended to the body.
    Xml::Node AppendRequestElement(std::string_view name, std::string_view namespaceUri);
    // A child element with the given text.
    static Xml::Node AppendTextElement(Xml::Node parent, std::string_view name, std::string_view text);

    // Replaces every control character but tab, line feed and carriage return by a blank, through a
    // serialise-and-reload of the whole envelope: the server refuses such characters.
    void ReloadWithoutControlCharacters();

  private:
    void StampContext(std::string_view name, const std::optional<std::string>& value, bool byName);

    Xml::Document document_;
};

}  // namespace Tarvik::Rpc
