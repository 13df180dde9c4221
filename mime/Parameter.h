#pragma once
// mimepp::Parameter: one "attribute=value" of a Content-Type or Content-Disposition.
//
// Assembled form: attribute, "=", value. The value is written as a quoted string (double quotes
// and backslashes escaped) when it is empty or holds anything but token characters (a MIME
// tspecial, white space, a control character); otherwise as it is.

#include <string_view>

#include "mime/Node.h"

namespace mimepp {

class Parameter : public Node {
  public:
    Parameter() = default;
    Parameter(const String& attribute, const String& value);

    const String& Attribute() const { return attribute_; }
    const String& Value() const { return value_; }
    void SetValue(const String& value);

    // Reads attribute "=" value, the value a quoted string or the raw text up to white space or
    // ';', without the line breaks of folding; a parameter without "=" has an empty value.
    void Parse() override;
    void Assemble() override;
    std::unique_ptr<Node> Clone() const override;

    // Where the parameter that starts at `pos` lies in `text` (white space and control
    // characters before its parts skipped). Without an attribute both extents are empty.
    struct Extent {
        size_t attributeBegin, attributeEnd;
        size_t valueBegin, valueEnd;
    };
    static Extent Scan(std::string_view text, size_t pos);

  private:
    Parameter(const Parameter& other) = default;

    String attribute_;
    String value_;
};

}  // namespace mimepp
