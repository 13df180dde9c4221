#include "xml/Document.h"

#include <libxml/parser.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include "xml/XmlInternal.h"

namespace Tarvik::Xml {

namespace Internal {

namespace {
void IgnoreGenericError(void*, const char*, ...) {}
}  // namespace

void EnsureInitialised() {
    static const bool initialised = [] {
        xmlInitParser();
        return true;
    }();
    (void)initialised;
}

std::vector<Node> Select(xmlDocPtr doc, xmlNodePtr context, std::string_view xpath) {
    std::vector<Node> result;
    if (doc == nullptr) {
        return result;
    }
    xmlXPathContextPtr xpathContext = xmlXPathNewContext(doc);
    if (xpathContext == nullptr) {
        return result;
    }
    if (auto* bindings = static_cast<const NamespaceBindings*>(doc->_private)) {
        for (const auto& [prefix, uri] : *bindings) {
            xmlXPathRegisterNs(xpathContext, X(prefix), X(uri));
        }
    }
    xpathContext->node = context != nullptr ? context : reinterpret_cast<xmlNodePtr>(doc);
    std::string expression(xpath);
    // Invalid expressions print to libxml2's error handler; silence it for this call only.
    xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
    xmlSetStructuredErrorFunc(nullptr, [](void*, xmlErrorPtr) {});
    xmlXPathObjectPtr object = xmlXPathEvalExpression(X(expression), xpathContext);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    xmlSetGenericErrorFunc(nullptr, nullptr);
    if (object != nullptr && object->type == XPATH_NODESET && object->nodesetval != nullptr) {
        for (int i = 0; i < object->nodesetval->nodeNr; ++i) {
            result.emplace_back(object->nodesetval->nodeTab[i]);
        }
    }
    xmlXPathFreeObject(object);
    xmlXPathFreeContext(xpathContext);
    return result;
}

std::string Serialise(xmlNodePtr node) {
    xmlBufferPtr buffer = xmlBufferCreate();
    xmlSaveCtxtPtr save = xmlSaveToBuffer(buffer, "UTF-8", XML_SAVE_NO_DECL | XML_SAVE_AS_XML);
    if (node->type == XML_DOCUMENT_NODE) {
        for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
            xmlSaveTree(save, child);
        }
    } else {
        xmlSaveTree(save, node);
    }
    xmlSaveClose(save);
    std::string text(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                     static_cast<size_t>(xmlBufferLength(buffer)));
    xmlBufferFree(buffer);
    return text;
}

}  // namespace Internal

using namespace Internal;

Document::Document() {
    EnsureInitialised();
    doc_ = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    Attach();
}

Document::Document(xmlDocPtr doc) : doc_(doc) { Attach(); }

void Document::Attach() {
    if (doc_ == nullptr) {
        throw std::bad_alloc();
    }
    namespaces_ = std::make_unique<NamespaceBindings>();
    doc_->_private = namespaces_.get();
}

Document::~Document() {
    if (doc_ != nullptr) {
        xmlFreeDoc(doc_);
    }
}

Document::Document(Document&& other) noexcept
    : doc_(std::exchange(other.doc_, nullptr)), namespaces_(std::move(other.namespaces_)) {}

Document& Document::operator=(Document&& other) noexcept {
    if (this != &other) {
        if (doc_ != nullptr) {
            xmlFreeDoc(doc_);
        }
        doc_ = std::exchange(other.doc_, nullptr);
        namespaces_ = std::move(other.namespaces_);
    }
    return *this;
}

std::optional<Document> Document::Parse(std::string_view text, std::string* error, ParseOptions options) {
    EnsureInitialised();
    if (text.size() > static_cast<size_t>(INT32_MAX)) {
        if (error != nullptr) {
            *error = "document too large";
        }
        return std::nullopt;
    }
    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (context == nullptr) {
        throw std::bad_alloc();
    }
    // Errors are reported through *error, not printed.
    xmlSetStructuredErrorFunc(nullptr, [](void*, xmlErrorPtr) {});
    int flags = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    if (!options.keepBlankText) {
        flags |= XML_PARSE_NOBLANKS;
    }
    xmlDocPtr doc = xmlCtxtReadMemory(context, text.data(), static_cast<int>(text.size()), nullptr, "UTF-8", flags);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    if (doc == nullptr || context->wellFormed == 0) {
        if (error != nullptr) {
            const xmlError& last = context->lastError;
            *error = last.message != nullptr
                         ? "line " + std::to_string(last.line) + ": " + FromX(reinterpret_cast<xmlChar*>(last.message))
                         : std::string("not well-formed XML");
            while (!error->empty() && (error->back() == '\n' || error->back() == ' ')) {
                error->pop_back();
            }
        }
        if (doc != nullptr) {
            xmlFreeDoc(doc);
        }
        xmlFreeParserCtxt(context);
        return std::nullopt;
    }
    xmlFreeParserCtxt(context);
    return Document(doc);
}

Node Document::Root() const { return Node(xmlDocGetRootElement(doc_)); }

void Document::SetRoot(Node element) {
    xmlNodePtr old = xmlDocSetRootElement(doc_, element.Raw());
    if (old != nullptr && old != element.Raw()) {
        xmlFreeNode(old);
    }
}

Node Document::CreateElement(std::string_view name) const {
    std::string copy(name);
    return Node(xmlNewDocNode(doc_, nullptr, X(copy), nullptr));
}

Node Document::CreateElement(std::string_view name, std::string_view namespaceUri) const {
    Node element = CreateElement(name);
    std::string uri(namespaceUri);
    xmlNsPtr ns = xmlNewNs(element.Raw(), X(uri), nullptr);
    xmlSetNs(element.Raw(), ns);
    return element;
}

Node Document::ImportNode(Node node) const { return Node(xmlDocCopyNode(node.Raw(), doc_, 1)); }

void Document::SetSelectionNamespaces(NamespaceBindings bindings) { *namespaces_ = std::move(bindings); }

const NamespaceBindings& Document::SelectionNamespaces() const { return *namespaces_; }

std::vector<Node> Document::SelectNodes(std::string_view xpath) const { return Select(doc_, nullptr, xpath); }

Node Document::SelectSingleNode(std::string_view xpath) const {
    std::vector<Node> nodes = SelectNodes(xpath);
    return nodes.empty() ? Node() : nodes.front();
}

std::string Document::ToString() const { return Serialise(reinterpret_cast<xmlNodePtr>(doc_)); }

}  // namespace Tarvik::Xml
