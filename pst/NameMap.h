#pragma once
// The store's name-to-id map: named properties (a property set GUID with a number or a name) and
// the property ids (0x8000 and up) they have in this file. Lookups go both ways.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "pst/PropertyContext.h"

namespace pst {

struct Guid {
    std::array<uint8_t, 16> bytes{};  // as stored: Data1..Data3 little-endian

    // "{00062002-0000-0000-C000-000000000046}" (braces optional); throws pst::Error.
    static Guid Parse(const std::string& text);
    std::string ToString() const;  // upper-case, with braces
    auto operator<=>(const Guid&) const = default;
};

extern const Guid kPsMapi;           // {00020328-0000-0000-C000-000000000046}
extern const Guid kPsPublicStrings;  // {00020329-0000-0000-C000-000000000046}

struct NamedProperty {
    Guid guid;
    bool isString = false;
    uint32_t number = 0;  // the LID when !isString
    std::string name;     // UTF-8, when isString
    uint16_t propId = 0;  // 0x8000 + index

    bool SameName(const NamedProperty& o) const {
        return guid == o.guid && isString == o.isString && (isString ? name == o.name : number == o.number);
    }
};

class NameMap {
  public:
    NameMap() = default;
    // Reads the map from its property context; entries that do not decode are skipped.
    explicit NameMap(const PropertyContext& pc);

    std::optional<uint16_t> Find(const Guid& guid, uint32_t number) const;
    std::optional<uint16_t> Find(const Guid& guid, const std::string& name) const;
    const NamedProperty* ById(uint16_t propId) const;
    const std::vector<NamedProperty>& All() const { return entries_; }
    // Entries that could not be decoded (bad GUID index or string offset).
    size_t Skipped() const { return skipped_; }

  private:
    using Key = std::tuple<Guid, bool, uint32_t, std::string>;  // set, is string, number, name
    std::vector<NamedProperty> entries_;
    std::map<uint16_t, size_t> byId_;
    std::map<Key, uint16_t> byName_;
    size_t skipped_ = 0;
};

}  // namespace pst
