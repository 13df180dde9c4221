#pragma once
// Writes XML text for answers. Faster and simpler than building a DOM for every response; the
// writer escapes text and attribute values and closes elements in order.

#include <string>
#include <string_view>
#include <vector>

namespace Tarvik::TestServer {

class XmlWriter {
  public:
    // Starts <name ...>; attributes may follow until content or Close().
    XmlWriter& Open(std::string_view name);
    XmlWriter& Attribute(std::string_view name, std::string_view value);
    XmlWriter& Attribute(std::string_view name, long long value);
    // Escaped character data inside the current element.
    XmlWriter& Text(std::string_view text);
    // Pre-formed XML appended as it is (for elements written by another writer).
    XmlWriter& Raw(std::string_view xml);
    // Closes the innermost open element ("/>" when it has no content).
    XmlWriter& Close();
    // A complete element holding only text.
    XmlWriter& TextElement(std::string_view name, std::string_view text);

    // The text written so far; every element must have been closed.
    const std::string& Str() const { return out_; }
    std::string Take() { return std::move(out_); }

  private:
    void EndStartTag();

    std::string out_;
    std::vector<std::string> open_;
    bool inStartTag_ = false;
};

// Escapes <, >, & and quotes for use in text or attribute values.
std::string XmlEscape(std::string_view text);

}  // namespace Tarvik::TestServer
