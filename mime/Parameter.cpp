#include "mime/Parameter.h"

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

}  // namespace

Parameter::Parameter(const String& attribute, const String& value) : attribute_(attribute), value_(value) {}

void Parameter::SetValue(const String& value) {
    value_ = value;
    SetModified();
}

void Parameter::Parse() {
    std::string_view text = chars::TrimWhiteSpace(text_.View());
    size_t equals = text.find('=');
    attribute_ = chars::TrimWhiteSpace(text.substr(0, equals));
    value_.Clear();
    if (equals != std::string_view::npos) {
        std::string_view value = chars::TrimWhiteSpace(text.substr(equals + 1));
        value_ = value.starts_with('"') ? String(UnquoteString(value)) : String(value);
    }
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
