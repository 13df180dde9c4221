#include "mime/Parameter.h"

#include <string>

#include "mime/CharClasses.h"
#include "mime/Tokenizer.h"

namespace mimepp {
namespace {

bool NeedsQuotes(std::string_view value) {
    if (value.empty()) {
        return true;
    }
    for (unsigned char c : value) {
        if (!chars::IsTokenChar(c)) {
            return true;
        }
    }
    return false;
}

// White space and control characters between the parts of a parameter.
bool IsSkipped(unsigned char c) {
    return c <= 0x20 || c == 0x7F;
}

size_t Skip(std::string_view text, size_t pos) {
    while (pos < text.size() && IsSkipped(text[pos])) {
        ++pos;
    }
    return pos;
}

}  // namespace

Parameter::Extent Parameter::Scan(std::string_view text, size_t pos) {
    Extent extent;
    extent.attributeBegin = Skip(text, pos);
    size_t end = extent.attributeBegin;
    while (end < text.size() && chars::IsTokenChar(text[end])) {
        ++end;
    }
    extent.attributeEnd = end;
    extent.valueBegin = extent.valueEnd = end;
    size_t equals = Skip(text, end);
    if (end > extent.attributeBegin && equals < text.size() && text[equals] == '=') {
        size_t value = Skip(text, equals + 1);
        end = value;
        if (end < text.size() && text[end] == '"') {
            ++end;
            while (end < text.size() && text[end] != '"') {
                end += text[end] == '\\' ? 2 : 1;
            }
            end = std::min(end + 1, text.size());
        } else {
            // Unquoted values in the wild hold tspecials such as '=', never white space.
            while (end < text.size() && text[end] != ';' && !chars::IsWhiteSpace(text[end])) {
                ++end;
            }
        }
        extent.valueBegin = value;
        extent.valueEnd = end;
    }
    return extent;
}

Parameter::Parameter(const String& attribute, const String& value) : attribute_(attribute), value_(value) {}

void Parameter::SetValue(const String& value) {
    value_ = value;
    SetModified();
}

void Parameter::Parse() {
    std::string_view text = text_.View();
    Extent extent = Scan(text, 0);
    attribute_ = text_.Substr(extent.attributeBegin, extent.attributeEnd - extent.attributeBegin);
    std::string_view value = text.substr(extent.valueBegin, extent.valueEnd - extent.valueBegin);
    std::string unquoted = value.starts_with('"') ? UnquoteString(value) : std::string(value);
    // A folded value continues after its line break.
    std::erase_if(unquoted, [](char c) { return c == '\r' || c == '\n'; });
    value_ = String(std::move(unquoted));
    ClearModified();
}

void Parameter::Assemble() {
    if (!IsModified()) {
        return;
    }
    String text = attribute_;
    text += "=";
    text += NeedsQuotes(value_.View()) ? String(QuoteString(value_.View())) : value_;
    text_ = text;
    ClearModified();
}

std::unique_ptr<Node> Parameter::Clone() const {
    return std::unique_ptr<Node>(new Parameter(*this));
}

}  // namespace mimepp
