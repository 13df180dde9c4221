#pragma once
// Shared between Document.cpp and Node.cpp: libxml2 string conversion, XPath and serialisation.

#include <libxml/tree.h>

#include <string>
#include <string_view>
#include <vector>

#include "xml/Node.h"

namespace Tarvik::Xml::Internal {

inline const xmlChar* X(const std::string& text) { return reinterpret_cast<const xmlChar*>(text.c_str()); }

inline std::string FromX(const xmlChar* text) {
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

// Makes sure libxml2 is initialised once per process, before any thread uses it.
void EnsureInitialised();

std::vector<Node> Select(xmlDocPtr doc, xmlNodePtr context, std::string_view xpath);
std::string Serialise(xmlNodePtr node);

}  // namespace Tarvik::Xml::Internal
