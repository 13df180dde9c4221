#include "mapi/RtfTokenizer.h"

#include <algorithm>
#include <limits>

namespace Tarvik::MAPI {

namespace {

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

RtfToken RtfTokenizer::Next() {
    while (pos_ < rtf_.size()) {
        char c = rtf_[pos_];
        switch (c) {
            case '{':
                ++pos_;
                return {RtfToken::Kind::GroupStart, rtf_.substr(pos_ - 1, 1)};
            case '}':
                ++pos_;
                return {RtfToken::Kind::GroupEnd, rtf_.substr(pos_ - 1, 1)};
            case '\\':
                return ReadControl();
            case '\r':
            case '\n':
                ++pos_;
                continue;
            default: {
                size_t end = rtf_.find_first_of("{}\\\r\n", pos_);
                end = end == std::string_view::npos ? rtf_.size() : end;
                RtfToken token{RtfToken::Kind::Text, rtf_.substr(pos_, end - pos_)};
                pos_ = end;
                return token;
            }
        }
    }
    return {};
}

RtfToken RtfTokenizer::ReadControl() {
    ++pos_;  // the backslash
    if (pos_ >= rtf_.size()) {
        return {};
    }
    char c = rtf_[pos_];
    if (IsLetter(c)) {
        return ReadControlWord();
    }
    ++pos_;
    if (c == '\r' || c == '\n') {
        return {RtfToken::Kind::ControlWord, "par"};  // a backslash before a line break is \par
    }
    if (c == '\'' && pos_ + 2 <= rtf_.size()) {
        int high = HexValue(rtf_[pos_]);
        int low = HexValue(rtf_[pos_ + 1]);
        if (high >= 0 && low >= 0) {
            pos_ += 2;
            return {RtfToken::Kind::HexByte, rtf_.substr(pos_ - 4, 4), true, high * 16 + low};
        }
    }
    return {RtfToken::Kind::ControlSymbol, rtf_.substr(pos_ - 1, 1)};
}

RtfToken RtfTokenizer::ReadControlWord() {
    size_t start = pos_;
    while (pos_ < rtf_.size() && IsLetter(rtf_[pos_])) {
        ++pos_;
    }
    RtfToken token{RtfToken::Kind::ControlWord, rtf_.substr(start, pos_ - start)};
    bool negative = pos_ + 1 < rtf_.size() && rtf_[pos_] == '-' && IsDigit(rtf_[pos_ + 1]);
    if (negative) {
        ++pos_;
    }
    if (pos_ < rtf_.size() && IsDigit(rtf_[pos_])) {
        int64_t value = 0;
        while (pos_ < rtf_.size() && IsDigit(rtf_[pos_])) {
            value = std::min<int64_t>(value * 10 + (rtf_[pos_] - '0'), std::numeric_limits<int32_t>::max());
            ++pos_;
        }
        token.hasParameter = true;
        token.parameter = static_cast<int32_t>(negative ? -value : value);
    }
    if (pos_ < rtf_.size() && rtf_[pos_] == ' ') {
        ++pos_;  // the delimiter belongs to the control word
    }
    if (token.text == "bin" && token.parameter > 0) {
        pos_ += std::min<size_t>(static_cast<size_t>(token.parameter), rtf_.size() - pos_);
    }
    return token;
}

}  // namespace Tarvik::MAPI
