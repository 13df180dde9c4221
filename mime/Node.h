#pragma once
// mimepp::Node: the base of every element of the MIME tree (messages, headers, fields, field bodies,
// bodies, body parts, parameters, encoded words).
//
// Every node keeps its own serialised text. A node is either clean (its text is current) or
// modified (it or something below it changed since it was last assembled). Setters mark the node
// and every ancestor modified; Assemble() rebuilds the text of modified nodes only, bottom up, so a
// tree may be assembled, changed and assembled again and only the changed branches are rebuilt.
// Parse() rebuilds the children from the text and leaves the node clean. Neither ever raises on odd
// content; both may raise std::bad_alloc.
//
// Nodes own their children (std::unique_ptr); the parent pointer does not own. Trees are not
// thread-safe: a tree belongs to the thread that builds it.

#include <memory>

#include "mime/String.h"

namespace mimepp {

class Node {
  public:
    virtual ~Node() = default;
    Node& operator=(const Node&) = delete;

    // Rebuilds the children from AsString(); afterwards the node is clean.
    virtual void Parse() = 0;
    // When modified: rebuilds AsString() from the children, then the node is clean.
    virtual void Assemble() = 0;
    // A deep copy without a parent.
    virtual std::unique_ptr<Node> Clone() const = 0;

    // The node's serialised form, current after Assemble().
    const String& AsString() const { return text_; }

    // Stores `text` verbatim as the node's text: the node becomes clean (its text is authoritative
    // and will not be regenerated from its children), its ancestors modified. Parse() afterwards
    // brings the children in line with it.
    void SetText(const String& text);
    // As SetText; field bodies fold the text first.
    virtual void FromString(const String& text);

    bool IsModified() const { return modified_; }
    // Marks this node and every ancestor modified.
    void SetModified();

    Node* Parent() const { return parent_; }

  protected:
    Node() = default;
    // Copies the text and the modified flag; the copy has no parent.
    Node(const Node& other) : text_(other.text_), modified_(other.modified_) {}

    // Sets the text and makes the node clean without touching the ancestors' flags.
    void AssignText(const String& text) {
        text_ = text;
        modified_ = false;
        TextReplaced();
    }
    void ClearModified() { modified_ = false; }
    // Called whenever the text was replaced from outside (SetText, FromString, AssignText).
    virtual void TextReplaced() {}

    // Makes `parent` the parent of `child`; containers call it for every child they take.
    static void Attach(Node& child, Node* parent) { child.parent_ = parent; }
    // Sets a child's text without touching any flag above it; with ParseChild, parses it too.
    static void SetChildText(Node& child, const String& text) { child.AssignText(text); }
    static void ParseChild(Node& child, const String& text) {
        child.AssignText(text);
        child.Parse();
    }

    String text_;

  private:
    friend class ParameterList;  // attaches the parameters of the field bodies that hold one

    bool modified_ = true;
    Node* parent_ = nullptr;
};

// A deep copy of `node` with its own type.
template <typename T>
std::unique_ptr<T> CloneAs(const T& node) {
    return std::unique_ptr<T>(static_cast<T*>(node.Clone().release()));
}

}  // namespace mimepp
