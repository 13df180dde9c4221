#pragma once
// MAPI's property values, rows, sort orders, restrictions and property names, owned by value
// (no MAPIFreeBuffer: what a call hands out belongs to the caller's variables).
//
// A value's kind follows its tag's type:
//   PT_I2, PT_LONG, PT_BOOLEAN, PT_ERROR, PT_I8, PT_CURRENCY, PT_SYSTIME   int64_t
//   PT_R4, PT_DOUBLE, PT_APPTIME                                            double
//   PT_UNICODE, PT_STRING8 (UTF-8 text); PT_BINARY, PT_CLSID, PT_SVREID     std::string
//   multi-valued forms of these                                             a vector of the same
// A PT_ERROR value carries the HRESULT that stands for the missing property.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "mapi/platform/MapiDefs.h"
#include "pst/NameMap.h"

using GUID = pst::Guid;

// Entry ids, search keys and other binaries are byte strings.
using EntryId = std::string;

class SPropValue {
  public:
    using Data = std::variant<std::monostate, int64_t, double, std::string, std::vector<int64_t>,
                              std::vector<double>, std::vector<std::string>>;

    SPropValue() = default;
    SPropValue(uint32_t tag, Data data) : ulPropTag(tag), data_(std::move(data)) {}

    static SPropValue Error(uint32_t tag, HRESULT hr) {
        return {CHANGE_PROP_TYPE(tag, PT_ERROR), int64_t{hr}};
    }
    static SPropValue Long(uint32_t tag, int32_t v) { return {tag, int64_t{v}}; }
    static SPropValue Bool(uint32_t tag, bool v) { return {tag, int64_t{v ? 1 : 0}}; }
    static SPropValue Int64(uint32_t tag, int64_t v) { return {tag, v}; }
    static SPropValue Text(uint32_t tag, std::string v) { return {tag, std::move(v)}; }
    static SPropValue Binary(uint32_t tag, std::string v) { return {tag, std::move(v)}; }

    uint16_t Type() const { return PROP_TYPE(ulPropTag); }
    bool IsError() const { return Type() == PT_ERROR; }

    // Accessors for the value's kind; asking for the wrong kind throws std::bad_variant_access.
    HRESULT ErrorCode() const { return static_cast<HRESULT>(std::get<int64_t>(data_)); }
    int32_t AsLong() const { return static_cast<int32_t>(std::get<int64_t>(data_)); }
    bool AsBool() const { return std::get<int64_t>(data_) != 0; }
    int64_t AsInt64() const { return std::get<int64_t>(data_); }
    uint64_t AsFileTime() const { return static_cast<uint64_t>(std::get<int64_t>(data_)); }
    double AsDouble() const { return std::get<double>(data_); }
    const std::string& AsText() const { return std::get<std::string>(data_); }
    const std::string& AsBinary() const { return std::get<std::string>(data_); }
    const std::vector<int64_t>& AsInt64List() const { return std::get<std::vector<int64_t>>(data_); }
    const std::vector<double>& AsDoubleList() const { return std::get<std::vector<double>>(data_); }
    const std::vector<std::string>& AsTextList() const { return std::get<std::vector<std::string>>(data_); }
    const std::vector<std::string>& AsBinaryList() const { return AsTextList(); }

    const Data& GetData() const { return data_; }
    bool operator==(const SPropValue&) const = default;

    uint32_t ulPropTag = PROP_TAG(PT_NULL, 0);

  private:
    Data data_;
};

using SPropTagArray = std::vector<uint32_t>;

struct SRow {
    std::vector<SPropValue> lpProps;

    // The column with this tag (exact match), or nullptr.
    const SPropValue* Find(uint32_t tag) const;
};
using SRowSet = std::vector<SRow>;

struct SSortOrder {
    uint32_t ulPropTag = 0;
    uint32_t ulOrder = TABLE_SORT_ASCEND;
};
struct SSortOrderSet {
    std::vector<SSortOrder> aSort;
    uint32_t cCategories = 0;
    uint32_t cExpanded = 0;
};

// A restriction tree. Which fields count depends on rt: children for RES_AND / RES_OR / RES_NOT
// (one child), ulPropTag and prop for RES_CONTENT (with ulFuzzyLevel) and RES_PROPERTY (with
// relop), ulPropTag for RES_EXIST, ulPropTag and ulMask for RES_BITMASK (with relop BMR_EQZ/NEZ).
struct SRestriction {
    uint32_t rt = RES_AND;
    std::vector<SRestriction> children;
    uint32_t ulFuzzyLevel = 0;
    uint32_t relop = 0;
    uint32_t ulPropTag = 0;
    uint32_t ulMask = 0;
    SPropValue prop;

    static SRestriction And(std::vector<SRestriction> terms);
    static SRestriction Or(std::vector<SRestriction> terms);
    static SRestriction Not(SRestriction term);
    static SRestriction Content(uint32_t fuzzyLevel, uint32_t tag, SPropValue value);
    static SRestriction Property(uint32_t relop, uint32_t tag, SPropValue value);
    static SRestriction Exist(uint32_t tag);
    static SRestriction Bitmask(uint32_t relop, uint32_t tag, uint32_t mask);

    // Every property tag the tree tests (with duplicates removed).
    SPropTagArray Tags() const;
    bool operator==(const SRestriction&) const = default;
};

// Whether a row satisfies a restriction. `lookup` gives the row's value of a tag, or nullptr
// when the row has no such property; comparisons follow MAPI (a missing property fails every
// content, property and bitmask test, so it is found only through RES_EXIST and RES_NOT).
template <typename Lookup>
bool RestrictionMatches(const SRestriction& restriction, const Lookup& lookup);

// A named property: a property set and a number (MNID_ID) or a name (MNID_STRING, UTF-8).
struct MAPINAMEID {
    GUID lpguid;
    uint32_t ulKind = MNID_ID;
    uint32_t lID = 0;
    std::string lpwstrName;

    static MAPINAMEID Id(const GUID& set, uint32_t id) { return {set, MNID_ID, id, {}}; }
    static MAPINAMEID Name(const GUID& set, std::string name) {
        return {set, MNID_STRING, 0, std::move(name)};
    }
    bool operator==(const MAPINAMEID&) const = default;
};

// Property sets the source side asks for names in.
extern const GUID PS_PUBLIC_STRINGS;
extern const GUID PS_MAPI;
extern const GUID PSETID_Common;
extern const GUID PSETID_Address;
extern const GUID PSETID_Task;
extern const GUID PSETID_Appointment;
extern const GUID PSETID_Meeting;

// The order of two values of the same kind (-1, 0, 1), texts ignoring ASCII case; `comparable` is
// false for values of different kinds or of list kinds.
int ComparePropValues(const SPropValue& a, const SPropValue& b, bool* comparable);

// ---- implementation of the template ----

bool ContentMatches(const SRestriction& r, const SPropValue& value);
bool PropertyMatches(const SRestriction& r, const SPropValue& value);
bool BitmaskMatches(const SRestriction& r, const SPropValue& value);

template <typename Lookup>
bool RestrictionMatches(const SRestriction& r, const Lookup& lookup) {
    switch (r.rt) {
        case RES_AND:
            for (const auto& term : r.children) {
                if (!RestrictionMatches(term, lookup)) {
                    return false;
                }
            }
            return true;
        case RES_OR:
            for (const auto& term : r.children) {
                if (RestrictionMatches(term, lookup)) {
                    return true;
                }
            }
            return false;
        case RES_NOT:
            return !r.children.empty() && !RestrictionMatches(r.children.front(), lookup);
        case RES_EXIST: {
            const SPropValue* v = lookup(r.ulPropTag);
            return v != nullptr && !v->IsError();
        }
        default: {
            const SPropValue* v = lookup(r.ulPropTag);
            if (v == nullptr || v->IsError()) {
                return false;
            }
            if (r.rt == RES_CONTENT) {
                return ContentMatches(r, *v);
            }
            if (r.rt == RES_PROPERTY) {
                return PropertyMatches(r, *v);
            }
            return r.rt == RES_BITMASK && BitmaskMatches(r, *v);
        }
    }
}
