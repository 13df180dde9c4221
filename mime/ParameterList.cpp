#include "mime/ParameterList.h"

#include "mime/CharClasses.h"

namespace mimepp {

ParameterList::ParameterList(const ParameterList& other, Node* owner) {
    for (const auto& parameter : other.parameters_) {
        parameters_.push_back(CloneAs(*parameter));
        Node::Attach(*parameters_.back(), owner);
    }
}

Parameter* ParameterList::Find(std::string_view attribute) const {
    for (const auto& parameter : parameters_) {
        if (chars::EqualsIgnoreCase(parameter->Attribute().View(), attribute)) {
            return parameter.get();
        }
    }
    return nullptr;
}

void ParameterList::Set(const String& attribute, const String& value, Node* owner) {
    if (Parameter* parameter = Find(attribute.View())) {
        parameter->SetValue(value);
        return;
    }
    parameters_.push_back(std::make_unique<Parameter>(attribute, value));
    Node::Attach(*parameters_.back(), owner);
    owner->SetModified();
}

void ParameterList::Parse(const String& value, size_t pos, Node* owner) {
    parameters_.clear();
    std::string_view text = value.View();
    while ((pos = text.find(';', pos)) != std::string_view::npos) {
        Parameter::Extent extent = Parameter::Scan(text, pos + 1);
        if (extent.attributeEnd == extent.attributeBegin) {
            pos = extent.attributeBegin;
            continue;
        }
        auto parameter = std::make_unique<Parameter>();
        Node::Attach(*parameter, owner);
        Node::ParseChild(*parameter,
                         value.Substr(extent.attributeBegin, extent.valueEnd - extent.attributeBegin));
        parameters_.push_back(std::move(parameter));
        pos = extent.valueEnd;
    }
}

void ParameterList::AppendTo(String& text, std::string_view separator) const {
    for (const auto& parameter : parameters_) {
        parameter->Assemble();
        text += separator;
        text += parameter->AsString();
    }
}

}  // namespace mimepp
