#pragma once
// Reads RFC 822 address syntax: the extents of the addresses of a list, and the parts of one
// mailbox or group. Tolerant: any text gives some result, comments are ignored.

#include <string>
#include <string_view>
#include <vector>

#include "mime/Tokenizer.h"

namespace mimepp {

class AddressListParser {
  public:
    struct Extent {
        size_t begin;
        size_t end;
        bool isGroup;
    };

    struct MailboxParts {
        std::string displayName;  // quoted strings unquoted
        std::string route;
        std::string localPart;
        std::string domain;
    };

    struct GroupParts {
        std::string name;
        size_t membersBegin;  // the members' text, between ":" and ";"
        size_t membersEnd;
    };

    explicit AddressListParser(std::string_view text);

    // The addresses separated by top-level commas; with allowGroups, "name: members;" is one group.
    std::vector<Extent> Addresses(bool allowGroups) const;
    // The parts of the first mailbox: phrase <[route:]local@domain> or local@domain.
    MailboxParts Mailbox() const;
    // The parts of a group.
    GroupParts Group() const;

  private:
    bool IsSpecial(const Token& token, char c) const;
    std::string Phrase(size_t first, size_t last) const;
    std::string Joined(size_t first, size_t last) const;
    void SplitAddrSpec(size_t first, size_t last, MailboxParts& parts) const;

    std::string_view text_;
    std::vector<Token> tokens_;  // comments left out
};

}  // namespace mimepp
