#include "mime/AddressListParser.h"

#include "mime/CharClasses.h"

namespace mimepp {

AddressListParser::AddressListParser(std::string_view text) : text_(text) {
    Tokenizer tokenizer(text, chars::kRfc822Specials);
    for (Token token = tokenizer.Next(); token.kind != Token::Kind::End; token = tokenizer.Next()) {
        if (token.kind != Token::Kind::Comment) {
            tokens_.push_back(token);
        }
    }
}

bool AddressListParser::IsSpecial(const Token& token, char c) const {
    return token.IsSpecial(text_, c);
}

std::vector<AddressListParser::Extent> AddressListParser::Addresses(bool allowGroups) const {
    std::vector<Extent> addresses;
    size_t first = 0;
    while (first < tokens_.size()) {
        bool inAngles = false;
        bool sawAngle = false;
        bool isGroup = false;
        size_t last = first;
        for (; last < tokens_.size(); ++last) {
            const Token& token = tokens_[last];
            if (IsSpecial(token, '<')) {
                inAngles = sawAngle = true;
            } else if (IsSpecial(token, '>')) {
                inAngles = false;
            } else if (IsSpecial(token, ':') && allowGroups && !inAngles && !sawAngle && !isGroup) {
                isGroup = true;
            } else if (IsSpecial(token, ';') && isGroup && !inAngles) {
                ++last;
                break;
            } else if (IsSpecial(token, ',') && !inAngles && !isGroup) {
                break;
            }
        }
        if (last > first) {
            addresses.push_back({tokens_[first].begin, tokens_[last - 1].end, isGroup});
        }
        first = last;
        if (first < tokens_.size() && IsSpecial(tokens_[first], ',')) {
            ++first;
        }
    }
    return addresses;
}

AddressListParser::MailboxParts AddressListParser::Mailbox() const {
    MailboxParts parts;
    size_t end = tokens_.size();
    for (size_t i = 0; i < tokens_.size(); ++i) {
        if (IsSpecial(tokens_[i], ',')) {
            end = i;
            break;
        }
        if (IsSpecial(tokens_[i], '<')) {
            end = i;
            break;
        }
    }
    if (end == tokens_.size() || IsSpecial(tokens_[end], ',')) {
        SplitAddrSpec(0, end, parts);
        return parts;
    }
    parts.displayName = Phrase(0, end);
    size_t first = end + 1;
    size_t last = first;
    while (last < tokens_.size() && !IsSpecial(tokens_[last], '>')) {
        ++last;
    }
    for (size_t i = first; i < last; ++i) {
        if (IsSpecial(tokens_[i], ':')) {
            parts.route = Joined(first, i);
            first = i + 1;
            break;
        }
    }
    SplitAddrSpec(first, last, parts);
    return parts;
}

AddressListParser::GroupParts AddressListParser::Group() const {
    GroupParts parts{{}, text_.size(), text_.size()};
    for (size_t i = 0; i < tokens_.size(); ++i) {
        if (IsSpecial(tokens_[i], ':')) {
            parts.name = Phrase(0, i);
            parts.membersBegin = tokens_[i].end;
            parts.membersEnd = text_.size();
            for (size_t j = i + 1; j < tokens_.size(); ++j) {
                if (IsSpecial(tokens_[j], ';')) {
                    parts.membersEnd = tokens_[j].begin;
                    break;
                }
            }
            break;
        }
    }
    return parts;
}

// Words of a phrase with quoted strings unquoted; words that were apart in the text stay one space
// apart ("John Q. Public").
std::string AddressListParser::Phrase(size_t first, size_t last) const {
    std::string phrase;
    for (size_t i = first; i < last; ++i) {
        const Token& token = tokens_[i];
        if (i > first && token.begin > tokens_[i - 1].end) {
            phrase.push_back(' ');
        }
        std::string_view raw = text_.substr(token.begin, token.end - token.begin);
        phrase += token.kind == Token::Kind::QuotedString ? UnquoteString(raw) : std::string(raw);
    }
    return phrase;
}

// The raw tokens joined without the white space and comments between them.
std::string AddressListParser::Joined(size_t first, size_t last) const {
    std::string joined;
    for (size_t i = first; i < last; ++i) {
        joined += text_.substr(tokens_[i].begin, tokens_[i].end - tokens_[i].begin);
    }
    return joined;
}

void AddressListParser::SplitAddrSpec(size_t first, size_t last, MailboxParts& parts) const {
    size_t at = last;
    for (size_t i = first; i < last; ++i) {
        if (IsSpecial(tokens_[i], '@')) {
            at = i;
        }
    }
    parts.localPart = Joined(first, at);
    if (at < last) {
        parts.domain = Joined(at + 1, last);
    }
}

}  // namespace mimepp
