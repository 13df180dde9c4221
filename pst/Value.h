#pragma once
// A property value as stored in a PST: its MAPI type and its bytes. Fixed-size values keep their
// little-endian bytes, strings their stored encoding (UTF-16LE for PT_UNICODE, 8-bit bytes for
// PT_STRING8), binaries their bytes; multi-valued properties keep each element's bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "pst/Bytes.h"

namespace pst {

namespace PropType {
constexpr uint16_t Unspecified = 0x0000;
constexpr uint16_t Null = 0x0001;
constexpr uint16_t Short = 0x0002;
constexpr uint16_t Long = 0x0003;
constexpr uint16_t Float = 0x0004;
constexpr uint16_t Double = 0x0005;
constexpr uint16_t Currency = 0x0006;
constexpr uint16_t AppTime = 0x0007;
constexpr uint16_t Error = 0x000A;
constexpr uint16_t Boolean = 0x000B;
constexpr uint16_t Object = 0x000D;
constexpr uint16_t Int64 = 0x0014;
constexpr uint16_t String8 = 0x001E;
constexpr uint16_t Unicode = 0x001F;
constexpr uint16_t SysTime = 0x0040;
constexpr uint16_t Clsid = 0x0048;
constexpr uint16_t ServerId = 0x00FB;
constexpr uint16_t Restriction = 0x00FD;
constexpr uint16_t RuleAction = 0x00FE;
constexpr uint16_t Binary = 0x0102;
constexpr uint16_t MultiValued = 0x1000;
}  // namespace PropType

constexpr uint32_t MakeTag(uint16_t id, uint16_t type) {
    return (static_cast<uint32_t>(id) << 16) | type;
}
constexpr uint16_t TagId(uint32_t tag) {
    return static_cast<uint16_t>(tag >> 16);
}
constexpr uint16_t TagType(uint32_t tag) {
    return static_cast<uint16_t>(tag & 0xFFFF);
}

// Size of a fixed-size value of this (single-valued) type, 0 for variable-size types.
size_t FixedSize(uint16_t type);

// MAPI_E_CORRUPT_DATA: what an unreadable table cell holds (type PT_ERROR).
constexpr uint32_t kErrorCorruptData = 0x8004011B;

class Value {
  public:
    Value() = default;
    Value(uint16_t type, Bytes raw);
    // Builds a multi-valued value; `type` includes the PropType::MultiValued bit.
    static Value Multi(uint16_t type, std::vector<Bytes> elements);
    // Decodes a stored multi-valued blob (count-and-offsets layout for variable-size elements).
    static Value FromStoredMulti(uint16_t type, ByteSpan stored);
    static Value ErrorValue(uint32_t code);

    uint16_t Type() const { return type_; }
    bool IsMulti() const { return (type_ & PropType::MultiValued) != 0; }
    const Bytes& Raw() const { return raw_; }  // single values

    int32_t AsInt32() const;
    int64_t AsInt64() const;  // also FILETIME and currency
    bool AsBool() const;
    double AsDouble() const;
    // Text as UTF-8: PT_UNICODE is decoded from UTF-16LE, PT_STRING8 from `codepage` (1252 when 0).
    std::string AsText(uint32_t codepage = 0) const;

    size_t Count() const { return elements_.size(); }
    const Bytes& Element(size_t i) const { return elements_.at(i); }
    std::vector<std::string> AsTextList(uint32_t codepage = 0) const;

    // The stored form: what a property context keeps for this value (multi-valued blobs included).
    Bytes Stored() const;

    bool operator==(const Value&) const = default;

  private:
    uint16_t type_ = PropType::Null;
    Bytes raw_;
    std::vector<Bytes> elements_;
};

// "PT_LONG", "PT_MV_UNICODE", ... for dumps.
std::string TypeName(uint16_t type);
// A readable rendering of a value for dumps (binary as hex, times as ISO dates).
std::string DescribeValue(const Value& value, uint32_t codepage = 0);
// FILETIME (100 ns since 1601) as "YYYY-MM-DDTHH:MM:SSZ".
std::string FileTimeToIso(int64_t fileTime);

}  // namespace pst
