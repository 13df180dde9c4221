#include "mime/ParameterList.h"

#include "mime/CharClasses.h"

namespace mimepp {
namespace {

// End of the raw value that starts at `pos`: a quoted string, or the text up to the next ';'.
size_t ValueEnd(std::string_view text, size_t pos) {
    if (pos < text.size() && text[pos] == '"') {
        ++pos;
        while (pos < text.size() && text[pos] != '"') {
            pos += text[pos] == '\\' ? 2 : 1;
        }
        return std::min(pos + 1, text.size());
    }
    size_t semicolon = text.find(';', pos);
    return semicolon == std::string_view::npos ? text.size() : semicolon;
}

}  // namespace

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
        size_t begin = pos + 1;
        while (begin < text.size() && chars::IsWhiteSpace(text[begin])) {
            ++begin;
        }
        size_t end = begin;
        while (end < text.size() && chars::IsTokenChar(text[end])) {
            ++end;
        }
        if (end == begin) {
            pos = begin;
            continue;
        }
        size_t equals = end;
        while (equals < text.size() && chars::IsWhiteSpace(text[equals])) {
            ++equals;
        }
        if (equals < text.size() && text[equals] == '=') {
            size_t valueBegin = equals + 1;
            while (valueBegin < text.size() && chars::IsWhiteSpace(text[valueBegin])) {
                ++valueBegin;
            }
            end = ValueEnd(text, valueBegin);
        }
        std::string_view raw = chars::TrimWhiteSpace(text.substr(begin, end - begin));
        auto parameter = std::make_unique<Parameter>();
        Node::Attach(*parameter, owner);
        Node::ParseChild(*parameter, value.Substr(begin, raw.size()));
        parameters_.push_back(std::move(parameter));
        pos = end;
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
