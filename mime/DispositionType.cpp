#include "mime/DispositionType.h"

#include "mime/CharClasses.h"
#include "mime/Tokenizer.h"

namespace mimepp {

DispositionType::DispositionType(const DispositionType& other)
    : FieldBody(other), type_(other.type_), parameters_(other.parameters_, this) {}

const String& DispositionType::Type() const {
    EnsureParsed();
    return type_;
}

void DispositionType::SetType(const String& word) {
    EnsureParsed();
    type_ = word;
    SetModified();
}

DispositionCode DispositionType::TypeCode() const {
    std::string_view word = Type().View();
    if (word.empty()) {
        return DispositionCode::None;
    }
    if (chars::EqualsIgnoreCase(word, "inline")) {
        return DispositionCode::Inline;
    }
    if (chars::EqualsIgnoreCase(word, "attachment")) {
        return DispositionCode::Attachment;
    }
    return DispositionCode::Unknown;
}

String DispositionType::GetFilename() const {
    const Parameter* filename = FindParameter("filename");
    return filename ? filename->Value() : String();
}

void DispositionType::SetFilename(const String& filename) {
    SetParameter("filename", filename);
}

size_t DispositionType::NumParameters() const {
    EnsureParsed();
    return parameters_.Size();
}

Parameter& DispositionType::ParameterAt(size_t index) const {
    EnsureParsed();
    return parameters_.At(index);
}

Parameter* DispositionType::FindParameter(std::string_view attribute) const {
    EnsureParsed();
    return parameters_.Find(attribute);
}

void DispositionType::SetParameter(const String& attribute, const String& value) {
    EnsureParsed();
    parameters_.Set(attribute, value, this);
}

void DispositionType::Parse() {
    MarkParsed();
    type_.Clear();
    Tokenizer tokenizer(text_.View(), chars::kTspecials);
    Token token = tokenizer.Next();
    if (token.kind == Token::Kind::Atom) {
        type_ = text_.Substr(token.begin, token.end - token.begin);
        token = tokenizer.Next();
    }
    parameters_.Parse(text_, token.begin, this);
    ClearModified();
}

void DispositionType::Assemble() {
    EnsureParsed();
    if (!IsModified()) {
        return;
    }
    if (type_.empty()) {
        ClearModified();
        return;
    }
    String text = type_;
    parameters_.AppendTo(text, "; ");
    StoreAssembled(text);
}

std::unique_ptr<Node> DispositionType::Clone() const {
    return std::unique_ptr<Node>(new DispositionType(*this));
}

}  // namespace mimepp
