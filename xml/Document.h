#pragma once
// An XML document over libxml2, owning its nodes. Used for SOAP envelopes and answers, the
// configuration file and the reference server. XPath selections resolve the prefixes given to
// SetSelectionNamespaces, so "mail:AddMsgResponse" matches <AddMsgResponse xmlns="urn:tarvikMail">.
// A document is used by one thread at a time.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "xml/Node.h"

struct _xmlDoc;

namespace Tarvik::Xml {

using NamespaceBindings = std::vector<std::pair<std::string, std::string>>;  // prefix, URI

struct ParseOptions {
    // Keep text nodes that hold only white space (dropped by default, as in a DOM without
    // preserveWhiteSpace).
    bool keepBlankText = false;
};

class Document {
public:
    // An empty document (no root).
    Document();
    ~Document();
    Document(Document&& other) noexcept;
    Document& operator=(Document&& other) noexcept;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // Parses XML text. Never loads external entities or DTDs and never touches the network.
    // Returns nothing when the text is not well-formed; *error then says why and where.
    static std::optional<Document> Parse(std::string_view text, std::string* error = nullptr,
                                         ParseOptions options = {});

    Node Root() const;
    // Makes `element` (created by this document) the root, replacing any previous root.
    void SetRoot(Node element);

    // A new element without namespace, not yet in the tree.
    Node CreateElement(std::string_view name) const;
    // A new element in `namespaceUri`, declared as its default namespace (no prefix).
    Node CreateElement(std::string_view name, std::string_view namespaceUri) const;
    // A deep copy of a node of another document, owned by this one and not yet in the tree.
    Node ImportNode(Node node) const;

    // The prefixes XPath selections may use, replacing earlier bindings.
    void SetSelectionNamespaces(NamespaceBindings bindings);
    const NamespaceBindings& SelectionNamespaces() const;

    std::vector<Node> SelectNodes(std::string_view xpath) const;
    Node SelectSingleNode(std::string_view xpath) const;

    // The document serialised as UTF-8, without the XML declaration.
    std::string ToString() const;

    _xmlDoc* Raw() const { return doc_; }

private:
    explicit Document(_xmlDoc* doc);
    void Attach();

    _xmlDoc* doc_ = nullptr;
    std::unique_ptr<NamespaceBindings> namespaces_;
};

}  // namespace Tarvik::Xml
