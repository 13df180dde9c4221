#pragma once
// Splits RTF into its tokens: group braces, control words with their parameters, control symbols,
// \'hh escapes and runs of plain text. Line breaks in the source are not text and are dropped.
// Binary data announced by \binN is skipped. Any byte sequence is accepted: malformed escapes become
// control symbols that readers ignore, so the tokenizer never fails and always advances.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Tarvik::MAPI {

struct RtfToken {
    enum class Kind { End, GroupStart, GroupEnd, ControlWord, ControlSymbol, HexByte, Text };
    Kind kind = Kind::End;
    std::string_view text;  // control word name, symbol character, or the plain text run
    bool hasParameter = false;
    int32_t parameter = 0;  // control word parameter, or the byte of a \'hh escape
};

class RtfTokenizer {
  public:
    explicit RtfTokenizer(std::string_view rtf) : rtf_(rtf) {}

    RtfToken Next();

  private:
    RtfToken ReadControl();
    RtfToken ReadControlWord();

    std::string_view rtf_;
    size_t pos_ = 0;
};

}  // namespace Tarvik::MAPI
