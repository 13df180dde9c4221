#include "mapi/EntryIds.h"

#include "runtime/Utf8.h"

namespace Tarvik::MAPI {

namespace {

// flags (4 bytes), provider UID (16), then what the provider puts there.
constexpr size_t ProviderUidOffset = 4;
constexpr size_t ProviderUidSize = 16;
constexpr std::string_view OneOffProvider{"\x81\x2B\x1F\xA4\xBE\xA3\x10\x19\x9D\x6E\x00\xDD\x01\x0F\x54\x02",
                                          16};
constexpr std::string_view AddressBookProvider{
    "\xDC\xA7\x40\xC8\xC0\x42\x10\x1A\xB4\xB9\x08\x00\x2B\x2F\xE1\x82", 16};
// One-off: version (2 bytes) and flags (2); address book: version (4) and type (4).
constexpr size_t OneOffTextOffset = ProviderUidOffset + ProviderUidSize + 4;
constexpr size_t AddressBookDnOffset = ProviderUidOffset + ProviderUidSize + 8;
constexpr uint16_t OneOffUnicode = 0x8000;

bool HasProvider(std::string_view entryId, std::string_view provider) {
    return entryId.size() >= ProviderUidOffset + ProviderUidSize &&
           entryId.substr(ProviderUidOffset, ProviderUidSize) == provider;
}

// Reads one zero-terminated text at `pos` and moves past its terminator.
std::optional<std::string> NextText(std::string_view bytes, size_t& pos, bool unicode) {
    if (!unicode) {
        size_t end = bytes.find('\0', pos);
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        std::string text(bytes.substr(pos, end - pos));
        pos = end + 1;
        return text;
    }
    for (size_t end = pos; end + 1 < bytes.size(); end += 2) {
        if (bytes[end] == '\0' && bytes[end + 1] == '\0') {
            std::string text = Utf8::FromUtf16LE(bytes.substr(pos, end - pos));
            pos = end + 2;
            return text;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<OneOffAddress> DecodeOneOffEntryId(std::string_view entryId) {
    if (!HasProvider(entryId, OneOffProvider) || entryId.size() < OneOffTextOffset) {
        return std::nullopt;
    }
    auto flags = static_cast<uint16_t>(static_cast<uint8_t>(entryId[OneOffTextOffset - 2]) |
                                       static_cast<uint8_t>(entryId[OneOffTextOffset - 1]) << 8);
    bool unicode = (flags & OneOffUnicode) != 0;
    size_t pos = OneOffTextOffset;
    std::optional<std::string> name = NextText(entryId, pos, unicode);
    std::optional<std::string> type = name ? NextText(entryId, pos, unicode) : std::nullopt;
    std::optional<std::string> address = type ? NextText(entryId, pos, unicode) : std::nullopt;
    if (!address) {
        return std::nullopt;
    }
    // 8-bit one-off ids carry the writer's code page, unknown here: keep only what is UTF-8.
    auto valid = [](std::string& text) {
        if (!Utf8::IsValid(text)) {
            std::string clean;
            for (size_t i = 0; i < text.size();) {
                Utf8::Append(clean, Utf8::Next(text, i));
            }
            text = clean;
        }
    };
    valid(*name);
    valid(*type);
    valid(*address);
    return OneOffAddress{*name, *type, *address};
}

std::optional<std::string> ExchangeDnOfEntryId(std::string_view entryId) {
    if (!HasProvider(entryId, AddressBookProvider) || entryId.size() <= AddressBookDnOffset) {
        return std::nullopt;
    }
    std::string_view dn = entryId.substr(AddressBookDnOffset);
    dn = dn.substr(0, dn.find('\0'));
    if (dn.empty()) {
        return std::nullopt;
    }
    return std::string(dn);
}

}  // namespace Tarvik::MAPI
