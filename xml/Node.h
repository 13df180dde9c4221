#pragma once
// A handle to one node of an XML document (element, text, attribute, ...). Handles do not own
// anything: a node lives as long as its Document, and a removed node's handles must not be used.
// A default-constructed handle is null; queries on it return empty results.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct _xmlNode;

namespace Tarvik::Xml {

class Node {
public:
    Node() = default;
    explicit Node(_xmlNode* node) : node_(node) {}

    explicit operator bool() const { return node_ != nullptr; }
    bool IsElement() const;
    bool IsText() const;  // text or CDATA

    // The name as written (prefix:local for prefixed elements), its local part and its namespace.
    std::string Name() const;
    std::string LocalName() const;
    std::string NamespaceUri() const;

    // The text of the node: all descendant text for elements, the value for text and attributes.
    std::string Text() const;
    // Replaces the element's children by one text node holding `text` verbatim (no entity parsing).
    void SetText(std::string_view text);

    std::optional<std::string> Attribute(std::string_view name) const;
    // Sets an attribute; a new one goes after the existing ones, an existing one keeps its place.
    void SetAttribute(std::string_view name, std::string_view value);
    std::vector<std::pair<std::string, std::string>> Attributes() const;

    // Appends `child` (a node of the same document, moved from wherever it was) and returns it.
    // A namespaced element whose namespace is already the default one in scope drops its own,
    // now redundant, declaration.
    Node AppendChild(Node child);
    // Creates an element without namespace, appends it and returns it.
    Node AppendElement(std::string_view name);
    // Unlinks the node from its document and frees it.
    void Remove();

    Node Parent() const;
    Node FirstChild() const;
    Node NextSibling() const;
    std::vector<Node> ChildElements() const;
    // The first child element with this local name, or a null node.
    Node ChildElement(std::string_view localName) const;

    // XPath relative to this node, with the selection namespaces of the node's document.
    // An invalid expression selects nothing.
    std::vector<Node> SelectNodes(std::string_view xpath) const;
    Node SelectSingleNode(std::string_view xpath) const;

    // The node serialised as XML (UTF-8).
    std::string ToString() const;

    _xmlNode* Raw() const { return node_; }
    friend bool operator==(const Node& a, const Node& b) { return a.node_ == b.node_; }

private:
    _xmlNode* node_ = nullptr;
};

}  // namespace Tarvik::Xml
