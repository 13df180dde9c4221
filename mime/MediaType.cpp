#include "mime/MediaType.h"

#include <array>
#include <ctime>
#include <utility>

#include "mime/CharClasses.h"
#include "mime/Tokenizer.h"
#include "mime/UniqueCounter.h"

namespace mimepp {
namespace {

constexpr std::array<std::pair<std::string_view, TypeCode>, 8> kTypeWords = {{
    {"text", TypeCode::Text},
    {"image", TypeCode::Image},
    {"audio", TypeCode::Audio},
    {"video", TypeCode::Video},
    {"application", TypeCode::Application},
    {"message", TypeCode::Message},
    {"multipart", TypeCode::Multipart},
    {"model", TypeCode::Model},
}};

// The Park-Miller generator: x <- 16807 x mod (2^31 - 1).
uint64_t NextRandom(uint64_t x) {
    return (16807 * x) % 2147483647;
}

std::string MakeBoundary(int level, time_t now, uint32_t counter) {
    std::string boundary = "------------Boundary-";
    boundary += static_cast<char>('0' + (level % 100) / 10);
    boundary += static_cast<char>('0' + level % 10);
    boundary += "=_";
    auto seconds = static_cast<uint64_t>(now);
    for (int i = 0; i < 4; ++i) {
        boundary += kUniqueAlphabet[seconds % 36];
        seconds /= 36;
    }
    uint64_t x = NextRandom(static_cast<uint64_t>(counter) + 444444444);
    for (int i = 0; i < 4; ++i) {
        x = NextRandom(x);
        for (int shift = 0; shift < 24; shift += 6) {
            boundary += kUniqueAlphabet[(x >> shift) & 63];
        }
    }
    return boundary;
}

}  // namespace

MediaType::MediaType(const MediaType& other)
    : FieldBody(other), type_(other.type_), subtype_(other.subtype_), parameters_(other.parameters_, this) {}

const String& MediaType::Type() const {
    EnsureParsed();
    return type_;
}

void MediaType::SetType(const String& type) {
    EnsureParsed();
    type_ = type;
    SetModified();
}

const String& MediaType::Subtype() const {
    EnsureParsed();
    return subtype_;
}

void MediaType::SetSubtype(const String& subtype) {
    EnsureParsed();
    subtype_ = subtype;
    SetModified();
}

TypeCode MediaType::TypeCode() const {
    std::string_view type = Type().View();
    if (type.empty()) {
        return mimepp::TypeCode::None;
    }
    for (const auto& [word, code] : kTypeWords) {
        if (chars::EqualsIgnoreCase(type, word)) {
            return code;
        }
    }
    return mimepp::TypeCode::Unknown;
}

size_t MediaType::NumParameters() const {
    EnsureParsed();
    return parameters_.Size();
}

Parameter& MediaType::ParameterAt(size_t index) const {
    EnsureParsed();
    return parameters_.At(index);
}

Parameter* MediaType::FindParameter(std::string_view attribute) const {
    EnsureParsed();
    return parameters_.Find(attribute);
}

void MediaType::SetParameter(const String& attribute, const String& value) {
    EnsureParsed();
    parameters_.Set(attribute, value, this);
}

String MediaType::GetBoundary() const {
    const Parameter* boundary = FindParameter("boundary");
    return boundary ? boundary->Value() : String();
}

void MediaType::CreateBoundary(int level) {
    SetParameter("boundary", MakeBoundary(level, std::time(nullptr), NextUniqueCounter()));
}

void MediaType::Parse() {
    MarkParsed();
    type_.Clear();
    subtype_.Clear();
    Tokenizer tokenizer(text_.View(), chars::kTspecials);
    Token token = tokenizer.Next();
    if (token.kind == Token::Kind::Atom) {
        type_ = text_.Substr(token.begin, token.end - token.begin);
        token = tokenizer.Next();
        if (token.IsSpecial(text_.View(), '/')) {
            token = tokenizer.Next();
            if (token.kind == Token::Kind::Atom) {
                subtype_ = text_.Substr(token.begin, token.end - token.begin);
            }
        }
    }
    parameters_.Parse(text_, token.begin, this);
    ClearModified();
}

void MediaType::Assemble() {
    EnsureParsed();
    if (!IsModified()) {
        return;
    }
    if (type_.empty() || subtype_.empty()) {
        ClearModified();
        return;
    }
    String text = type_;
    text += "/";
    text += subtype_;
    parameters_.AppendTo(text, "; ");
    StoreAssembled(text);
}

std::unique_ptr<Node> MediaType::Clone() const {
    return std::unique_ptr<Node>(new MediaType(*this));
}

}  // namespace mimepp
