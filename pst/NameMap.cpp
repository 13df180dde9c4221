#include "pst/NameMap.h"

#include <cctype>

#include <fmt/format.h>

#include "runtime/Utf8.h"

namespace pst {

const Guid kPsMapi = Guid::Parse("{00020328-0000-0000-C000-000000000046}");
const Guid kPsPublicStrings = Guid::Parse("{00020329-0000-0000-C000-000000000046}");

Guid Guid::Parse(const std::string& text) {
    std::string hex;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            hex += c;
        } else if (c != '-' && c != '{' && c != '}') {
            throw Error("not a GUID: " + text);
        }
    }
    if (hex.size() != 32) {
        throw Error("not a GUID: " + text);
    }
    auto byteAt = [&](size_t i) {
        return static_cast<uint8_t>(std::stoi(hex.substr(i * 2, 2), nullptr, 16));
    };
    Guid g;
    // Data1 (4 bytes), Data2 and Data3 (2 bytes each) are little-endian; the rest is in text order.
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i) {
        g.bytes[i] = byteAt(order[i]);
    }
    return g;
}

std::string Guid::ToString() const {
    const auto& b = bytes;
    return fmt::format(
        "{{{:02X}{:02X}{:02X}{:02X}-{:02X}{:02X}-{:02X}{:02X}-{:02X}{:02X}-{:02X}{:02X}{:02X}{:02X}{:02X}{:"
        "02X}}}",
        b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
}

NameMap::NameMap(const PropertyContext& pc) {
    auto streamOf = [&](uint16_t id) {
        auto v = pc.Get(MakeTag(id, PropType::Binary));
        return v ? v->Raw() : Bytes{};
    };
    const Bytes guids = streamOf(0x0002);
    const Bytes records = streamOf(0x0003);
    const Bytes strings = streamOf(0x0004);
    for (size_t off = 0; off + 8 <= records.size(); off += 8) {
        NamedProperty p;
        const uint32_t value = U32(records, off);
        const uint16_t guidWord = U16(records, off + 4);
        p.propId = static_cast<uint16_t>(0x8000 + U16(records, off + 6));
        p.isString = (guidWord & 1) != 0;
        const uint16_t guidIndex = guidWord >> 1;
        if (guidIndex == 1) {
            p.guid = kPsMapi;
        } else if (guidIndex == 2) {
            p.guid = kPsPublicStrings;
        } else if (guidIndex >= 3 && (guidIndex - 3) * 16u + 16 <= guids.size()) {
            std::copy_n(guids.begin() + (guidIndex - 3) * 16, 16, p.guid.bytes.begin());
        } else {
            ++skipped_;
            continue;
        }
        if (p.isString) {
            if (value > strings.size() || strings.size() - value < 4 ||
                U32(strings, value) > strings.size() - value - 4) {
                ++skipped_;
                continue;
            }
            const uint32_t length = U32(strings, value);
            p.name = Utf8::FromUtf16LE(
                std::string_view(reinterpret_cast<const char*>(strings.data()) + value + 4, length));
        } else {
            p.number = value;
        }
        if (byId_.emplace(p.propId, entries_.size()).second) {
            byName_.emplace(Key{p.guid, p.isString, p.number, p.name}, p.propId);
            entries_.push_back(std::move(p));
        } else {
            ++skipped_;
        }
    }
}

std::optional<uint16_t> NameMap::Find(const Guid& guid, uint32_t number) const {
    auto it = byName_.find(Key{guid, false, number, {}});
    return it == byName_.end() ? std::nullopt : std::optional<uint16_t>(it->second);
}

std::optional<uint16_t> NameMap::Find(const Guid& guid, const std::string& name) const {
    auto it = byName_.find(Key{guid, true, 0, name});
    return it == byName_.end() ? std::nullopt : std::optional<uint16_t>(it->second);
}

const NamedProperty* NameMap::ById(uint16_t propId) const {
    auto it = byId_.find(propId);
    return it == byId_.end() ? nullptr : &entries_[it->second];
}

}  // namespace pst
