#include "mapi/HtmlText.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

namespace Tarvik::MAPI {

namespace {

bool NameIs(const xmlNode* node, std::initializer_list<const char*> names) {
    const char* name = reinterpret_cast<const char*>(node->name);
    return std::any_of(names.begin(), names.end(),
                       [&](const char* candidate) { return std::strcmp(name, candidate) == 0; });
}

bool IsHidden(const xmlNode* node) {
    return NameIs(node,
                  {"head", "script", "style", "noscript", "template", "title", "select", "datalist", "iframe",
                   "object", "embed", "audio", "video", "canvas", "svg", "math", "map", "frameset"});
}

bool IsPreformatted(const xmlNode* node) {
    return NameIs(node, {"pre", "textarea", "listing", "plaintext", "xmp"});
}

bool IsWordParagraph(const xmlNode* node) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>("class"));
    bool word = value != nullptr && strncasecmp(reinterpret_cast<const char*>(value), "mso", 3) == 0;
    xmlFree(value);
    return word;
}

// The parser reads Word's <o:p> as <p>; a paragraph cannot hold another one in HTML, so a <p>
// inside a <p> is such a Word tag, which is inline.
bool IsInsideParagraph(const xmlNode* node) {
    for (const xmlNode* parent = node->parent; parent != nullptr && parent->type == XML_ELEMENT_NODE;
         parent = parent->parent) {
        if (NameIs(parent, {"p"})) {
            return true;
        }
    }
    return false;
}

// The line breaks an element asks for before and after itself: 2 (an empty line) for paragraphs,
// 1 for other blocks.
int LineBreaksAround(const xmlNode* node) {
    if (NameIs(node, {"p"})) {
        if (IsInsideParagraph(node)) {
            return 0;
        }
        return IsWordParagraph(node) ? 1 : 2;
    }
    if (NameIs(node, {"address",  "article",    "aside",  "blockquote", "body",   "caption", "center",
                      "dd",       "details",    "dialog", "dir",        "div",    "dl",      "dt",
                      "fieldset", "figcaption", "figure", "footer",     "form",   "h1",      "h2",
                      "h3",       "h4",         "h5",     "h6",         "header", "hgroup",  "hr",
                      "li",       "legend",     "main",   "menu",       "nav",    "ol",      "pre",
                      "section",  "summary",    "table",  "tr",         "ul",     "xmp",     "listing",
                      "plaintext"})) {
        return 1;
    }
    return 0;
}

bool IsCell(const xmlNode* node) {
    return node != nullptr && node->type == XML_ELEMENT_NODE && NameIs(node, {"td", "th"});
}

bool IsLastCell(const xmlNode* node) {
    for (const xmlNode* next = node->next; next != nullptr; next = next->next) {
        if (IsCell(next)) {
            return false;
        }
    }
    return true;
}

bool IsCollapsibleSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Collects text as a browser lays it out in lines.
class TextBuilder {
  public:
    void AddText(std::string_view text, bool preformatted) {
        for (char c : text) {
            if (!preformatted && IsCollapsibleSpace(c)) {
                pendingSpace_ = true;
                continue;
            }
            if (c == '\r') {
                continue;  // CR LF and LF alike end a line
            }
            EmitPendingBreaks();
            if (pendingSpace_ && !AtLineStart()) {
                out_ += ' ';
            }
            pendingSpace_ = false;
            out_ += c;
        }
    }

    void AddLineBreak() {
        EmitPendingBreaks();
        out_ += '\n';
        pendingSpace_ = false;
    }

    void AddCellSeparator() {
        EmitPendingBreaks();
        out_ += '\t';
        pendingSpace_ = false;
    }

    void RequireLineBreaks(int count) {
        pendingBreaks_ = std::max(pendingBreaks_, count);
        pendingSpace_ = false;
    }

    // The text with CR LF line ends, non-breaking spaces as spaces and no spaces at line ends.
    std::string Finish() {
        std::string text;
        text.reserve(out_.size() + out_.size() / 16);
        size_t keep = 0;  // the text up to the last character of the line that is not a space
        for (size_t i = 0; i < out_.size(); ++i) {
            char c = out_[i];
            if (c == '\n') {
                text.resize(keep);
                text += "\r\n";
                keep = text.size();
                continue;
            }
            if (c == '\xC2' && i + 1 < out_.size() && out_[i + 1] == '\xA0') {
                text += ' ';
                ++i;
                continue;
            }
            text += c;
            if (c != ' ') {
                keep = text.size();
            }
        }
        text.resize(keep);
        return text;
    }

  private:
    bool AtLineStart() const { return out_.empty() || out_.back() == '\n' || out_.back() == '\t'; }

    // Line breaks that blocks asked for, less those that the text already ends with.
    void EmitPendingBreaks() {
        if (pendingBreaks_ > 0 && !out_.empty()) {
            size_t trailing = out_.size() - (out_.find_last_not_of('\n') + 1);
            for (size_t i = trailing; i < static_cast<size_t>(pendingBreaks_); ++i) {
                out_ += '\n';
            }
        }
        pendingBreaks_ = 0;
    }

    std::string out_;
    int pendingBreaks_ = 0;
    bool pendingSpace_ = false;
};

// The HTML parser always places the body right under the root element.
const xmlNode* FindBody(const xmlNode* root) {
    for (const xmlNode* node = root->children; node != nullptr; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && NameIs(node, {"body"})) {
            return node;
        }
    }
    return nullptr;
}

class TextWalker {
  public:
    std::string Walk(const xmlNode* root) {
        // Iterative, so that deeply nested markup cannot exhaust the stack.
        const xmlNode* node = root->children;
        while (node != nullptr) {
            if (Enter(node) && node->children != nullptr) {
                node = node->children;
                continue;
            }
            Leave(node);
            while (node->next == nullptr) {
                node = node->parent;
                if (node == root || node == nullptr) {
                    return builder_.Finish();
                }
                Leave(node);
            }
            node = node->next;
        }
        return builder_.Finish();
    }

  private:
    // Returns whether the node's children are to be visited.
    bool Enter(const xmlNode* node) {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            if (node->content != nullptr) {
                builder_.AddText(reinterpret_cast<const char*>(node->content), preformattedDepth_ > 0);
            }
            return false;
        }
        if (node->type != XML_ELEMENT_NODE || IsHidden(node)) {
            return false;
        }
        if (NameIs(node, {"br"})) {
            builder_.AddLineBreak();
            return false;
        }
        if (int breaks = LineBreaksAround(node)) {
            builder_.RequireLineBreaks(breaks);
        }
        if (IsPreformatted(node)) {
            ++preformattedDepth_;
        }
        return true;
    }

    void Leave(const xmlNode* node) {
        if (node->type != XML_ELEMENT_NODE || IsHidden(node) || NameIs(node, {"br"})) {
            return;
        }
        if (IsPreformatted(node)) {
            --preformattedDepth_;
        }
        if (int breaks = LineBreaksAround(node)) {
            builder_.RequireLineBreaks(breaks);
        }
        if (IsCell(node) && !IsLastCell(node)) {
            builder_.AddCellSeparator();
        }
    }

    TextBuilder builder_;
    int preformattedDepth_ = 0;
};

struct DocumentDeleter {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

}  // namespace

std::string TextFromHtml(std::string_view html, std::string_view encoding) {
    if (html.empty() || html.size() > INT_MAX) {
        return {};
    }
    xmlInitParser();
    // XML_PARSE_HUGE lifts the parser's nesting limit of 256, beyond which it would drop the rest
    // of the document; long reply chains nest deeply.
    constexpr int options =
        HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | XML_PARSE_HUGE;
    std::string encodingName(encoding);
    std::unique_ptr<xmlDoc, DocumentDeleter> doc(
        htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr,
                       encodingName.empty() ? nullptr : encodingName.c_str(), options));
    if (!doc && !encodingName.empty()) {
        // A charset libxml2 does not know: let the document speak for itself.
        doc.reset(htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr, nullptr, options));
    }
    if (!doc) {
        return {};
    }
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    if (root == nullptr) {
        return {};
    }
    const xmlNode* body = FindBody(root);
    return TextWalker().Walk(body != nullptr ? body : root);
}

}  // namespace Tarvik::MAPI
