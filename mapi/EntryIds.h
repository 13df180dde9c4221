#pragma once
// The two kinds of entry id that name a person without an address book to ask: one-off entry ids
// (display name, address type and address written into the id itself) and Exchange address-book
// entry ids (the legacy distinguished name after a fixed header).

#include <optional>
#include <string>
#include <string_view>

namespace Tarvik::MAPI {

struct OneOffAddress {
    std::string displayName;
    std::string addressType;
    std::string address;
};

// The person a one-off entry id names (texts as UTF-8), or nothing for any other entry id or
// one that is cut short.
std::optional<OneOffAddress> DecodeOneOffEntryId(std::string_view entryId);

// The legacy distinguished name in an Exchange address-book entry id, or nothing for any other
// entry id.
std::optional<std::string> ExchangeDnOfEntryId(std::string_view entryId);

}  // namespace Tarvik::MAPI
