#include "mime/TransferEncodingType.h"

#include <array>
#include <utility>

#include "mime/CharClasses.h"
#include "mime/Tokenizer.h"

namespace mimepp {
namespace {

constexpr std::array<std::pair<std::string_view, TransferEncodingCode>, 5> kWords = {{
    {"7bit", TransferEncodingCode::SevenBit},
    {"8bit", TransferEncodingCode::EightBit},
    {"quoted-printable", TransferEncodingCode::QuotedPrintable},
    {"base64", TransferEncodingCode::Base64},
    {"binary", TransferEncodingCode::Binary},
}};

}  // namespace

const String& TransferEncodingType::Word() const {
    EnsureParsed();
    return word_;
}

TransferEncodingCode TransferEncodingType::TypeCode() const {
    std::string_view word = Word().View();
    if (word.empty()) {
        return TransferEncodingCode::None;
    }
    for (const auto& [name, code] : kWords) {
        if (chars::EqualsIgnoreCase(word, name)) {
            return code;
        }
    }
    return TransferEncodingCode::Unknown;
}

void TransferEncodingType::Parse() {
    MarkParsed();
    Token token = Tokenizer(text_.View(), chars::kTspecials).Next();
    word_ = token.kind == Token::Kind::Atom ? text_.Substr(token.begin, token.end - token.begin) : String();
    ClearModified();
}

void TransferEncodingType::Assemble() {
    EnsureParsed();
    if (!IsModified()) {
        return;
    }
    StoreAssembled(word_);
}

std::unique_ptr<Node> TransferEncodingType::Clone() const {
    return std::unique_ptr<Node>(new TransferEncodingType(*this));
}

}  // namespace mimepp
