#include "xml/Node.h"

#include <libxml/tree.h>

#include "xml/XmlInternal.h"

namespace Tarvik::Xml {

using namespace Internal;

bool Node::IsElement() const { return node_ != nullptr && node_->type == XML_ELEMENT_NODE; }

bool Node::IsText() const {
    return node_ != nullptr && (node_->type == XML_TEXT_NODE || node_->type == XML_CDATA_SECTION_NODE);
}

std::string Node::Name() const {
    if (node_ == nullptr) {
        return {};
    }
    std::string local = FromX(node_->name);
    if (node_->ns != nullptr && node_->ns->prefix != nullptr) {
        return FromX(node_->ns->prefix) + ":" + local;
    }
    return local;
}

std::string Node::LocalName() const { return node_ != nullptr ? FromX(node_->name) : std::string(); }

std::string Node::NamespaceUri() const {
    return node_ != nullptr && node_->ns != nullptr ? FromX(node_->ns->href) : std::string();
}

std::string Node::Text() const {
    if (node_ == nullptr) {
        return {};
    }
    xmlChar* content = xmlNodeGetContent(node_);
    std::string text = FromX(content);
    xmlFree(content);
    return text;
}

void Node::SetText(std::string_view text) {
    if (!IsElement()) {
        return;
    }
    while (node_->children != nullptr) {
        xmlNodePtr child = node_->children;
        xmlUnlinkNode(child);
        xmlFreeNode(child);
    }
    xmlNodePtr textNode = xmlNewDocTextLen(node_->doc, reinterpret_cast<const xmlChar*>(text.data()),
                                           static_cast<int>(text.size()));
    xmlAddChild(node_, textNode);
}

std::optional<std::string> Node::Attribute(std::string_view name) const {
    if (!IsElement()) {
        return std::nullopt;
    }
    std::string key(name);
    xmlAttrPtr attribute = xmlHasProp(node_, X(key));
    if (attribute == nullptr) {
        return std::nullopt;
    }
    xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attribute));
    std::string text = FromX(value);
    xmlFree(value);
    return text;
}

void Node::SetAttribute(std::string_view name, std::string_view value) {
    if (!IsElement()) {
        return;
    }
    std::string key(name);
    std::string text(value);
    xmlSetProp(node_, X(key), X(text));
}

std::vector<std::pair<std::string, std::string>> Node::Attributes() const {
    std::vector<std::pair<std::string, std::string>> result;
    if (!IsElement()) {
        return result;
    }
    for (xmlAttrPtr attribute = node_->properties; attribute != nullptr; attribute = attribute->next) {
        xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attribute));
        result.emplace_back(FromX(attribute->name), FromX(value));
        xmlFree(value);
    }
    return result;
}

namespace {

// An element that declares its own default namespace, appended where that namespace is already the
// default, would repeat the declaration on serialisation; point it at the inherited one instead.
void DropRedundantDefaultNamespace(xmlNodePtr parent, xmlNodePtr child) {
    xmlNsPtr own = child->nsDef;
    if (own == nullptr || own->prefix != nullptr || own->next != nullptr || child->ns != own) {
        return;
    }
    xmlNsPtr inherited = xmlSearchNs(parent->doc, parent, nullptr);
    if (inherited == nullptr || !xmlStrEqual(inherited->href, own->href)) {
        return;
    }
    child->ns = inherited;
    child->nsDef = nullptr;
    xmlFreeNs(own);
}

}  // namespace

Node Node::AppendChild(Node child) {
    if (!IsElement() || !child) {
        return Node();
    }
    xmlUnlinkNode(child.node_);
    if (child.IsElement()) {
        DropRedundantDefaultNamespace(node_, child.node_);
    }
    return Node(xmlAddChild(node_, child.node_));
}

Node Node::AppendElement(std::string_view name) {
    if (!IsElement()) {
        return Node();
    }
    std::string copy(name);
    return Node(xmlNewChild(node_, nullptr, X(copy), nullptr));
}

void Node::Remove() {
    if (node_ == nullptr) {
        return;
    }
    xmlUnlinkNode(node_);
    xmlFreeNode(node_);
    node_ = nullptr;
}

Node Node::Parent() const { return Node(node_ != nullptr ? node_->parent : nullptr); }
Node Node::FirstChild() const { return Node(node_ != nullptr ? node_->children : nullptr); }
Node Node::NextSibling() const { return Node(node_ != nullptr ? node_->next : nullptr); }

std::vector<Node> Node::ChildElements() const {
    std::vector<Node> result;
    for (Node child = FirstChild(); child; child = child.NextSibling()) {
        if (child.IsElement()) {
            result.push_back(child);
        }
    }
    return result;
}

Node Node::ChildElement(std::string_view localName) const {
    for (Node child = FirstChild(); child; child = child.NextSibling()) {
        if (child.IsElement() && child.LocalName() == localName) {
            return child;
        }
    }
    return Node();
}

std::vector<Node> Node::SelectNodes(std::string_view xpath) const {
    return node_ != nullptr ? Select(node_->doc, node_, xpath) : std::vector<Node>();
}

Node Node::SelectSingleNode(std::string_view xpath) const {
    std::vector<Node> nodes = SelectNodes(xpath);
    return nodes.empty() ? Node() : nodes.front();
}

std::string Node::ToString() const { return node_ != nullptr ? Serialise(node_) : std::string(); }

}  // namespace Tarvik::Xml
