#include "mapi/platform/StoreContext.h"

#include "mapi/platform/PropTags.h"
#include "pst/Bytes.h"
#include "runtime/Log.h"

namespace mapipst {

namespace {

constexpr int32_t STORE_ENTRYID_UNIQUE = 0x00000001;
constexpr int32_t STORE_SEARCH_OK = 0x00000004;
constexpr int32_t STORE_ATTACH_OK = 0x00000020;
constexpr int32_t STORE_OLE_OK = 0x00000040;
constexpr int32_t STORE_RTF_OK = 0x00000800;
constexpr int32_t STORE_HTML_OK = 0x00010000;
constexpr int32_t STORE_UNICODE_OK = 0x00040000;

bool IsTextType(uint16_t type) {
    return type == PT_UNICODE || type == PT_STRING8;
}

bool Compatible(uint16_t asked, uint16_t stored) {
    if (asked == stored) {
        return true;
    }
    bool multi = (asked & MV_FLAG) != 0;
    return multi == ((stored & MV_FLAG) != 0) && IsTextType(asked & ~MV_FLAG) &&
           IsTextType(stored & ~MV_FLAG);
}

std::string RawString(const pst::Bytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

SPropValue::Data SingleData(const pst::Value& value, uint32_t codepage) {
    switch (value.Type()) {
        case PT_I2:
        case PT_LONG:
        case PT_ERROR:
            return int64_t{value.AsInt32()};
        case PT_BOOLEAN:
            return int64_t{value.AsBool() ? 1 : 0};
        case PT_I8:
        case PT_CURRENCY:
        case PT_SYSTIME:
            return value.AsInt64();
        case PT_R4:
        case PT_DOUBLE:
        case PT_APPTIME:
            return value.AsDouble();
        case PT_UNICODE:
        case PT_STRING8:
            return value.AsText(codepage);
        default:
            return RawString(value.Raw());
    }
}

SPropValue::Data MultiData(const pst::Value& value, uint32_t codepage) {
    uint16_t base = value.Type() & ~MV_FLAG;
    if (IsTextType(base)) {
        return value.AsTextList(codepage);
    }
    std::vector<int64_t> numbers;
    std::vector<double> doubles;
    std::vector<std::string> binaries;
    for (size_t i = 0; i < value.Count(); ++i) {
        pst::Value element(base, value.Element(i));
        auto data = SingleData(element, codepage);
        if (auto* n = std::get_if<int64_t>(&data)) {
            numbers.push_back(*n);
        } else if (auto* d = std::get_if<double>(&data)) {
            doubles.push_back(*d);
        } else {
            binaries.push_back(std::get<std::string>(data));
        }
    }
    if (base == PT_R4 || base == PT_DOUBLE || base == PT_APPTIME) {
        return doubles;
    }
    if (base == PT_I2 || base == PT_LONG || base == PT_I8 || base == PT_CURRENCY || base == PT_SYSTIME) {
        return numbers;
    }
    return binaries;
}

}  // namespace

StoreContext::StoreContext(std::unique_ptr<pst::PstFile> f, EntryId id)
    : file(std::move(f)), storeEntryId(std::move(id)), codepage(file->Codepage()) {}

EntryId StoreContext::EntryIdOf(uint32_t nid) const {
    return RawString(file->EntryIdOf(nid));
}

std::optional<uint32_t> StoreContext::NidOf(const EntryId& entryId) const {
    return file->NidOfEntryId(
        pst::ByteSpan(reinterpret_cast<const uint8_t*>(entryId.data()), entryId.size()));
}

std::string StoreContext::DerivedSearchKey(uint32_t nid) const {
    std::string key(file->RecordKey().begin(), file->RecordKey().end());
    pst::Bytes node;
    pst::Append32(node, nid);
    return key + RawString(node);
}

int32_t StoreContext::SupportMask() const {
    int32_t mask = STORE_ENTRYID_UNIQUE | STORE_SEARCH_OK | STORE_ATTACH_OK | STORE_OLE_OK | STORE_RTF_OK |
                   STORE_HTML_OK;
    if (file->GetHeader().format != pst::Format::Ansi) {
        mask |= STORE_UNICODE_OK;
    }
    return mask;
}

SPropValue ToPropValue(uint32_t tag, const pst::Value& value, uint32_t codepage) {
    uint16_t asked = PROP_TYPE(tag) == PT_UNSPECIFIED ? value.Type() : PROP_TYPE(tag);
    if (value.Type() == PT_ERROR) {
        return SPropValue::Error(tag, value.AsInt32());
    }
    if (!Compatible(asked, value.Type())) {
        return SPropValue::Error(tag, MAPI_E_NOT_FOUND);
    }
    if (value.Type() == PT_OBJECT) {
        return SPropValue::Error(tag, MAPI_E_NO_SUPPORT);
    }
    uint32_t typed = CHANGE_PROP_TYPE(tag, asked);
    return {typed, value.IsMulti() ? MultiData(value, codepage) : SingleData(value, codepage)};
}

SPropValue ReadProperty(const pst::PropertyContext& properties, uint32_t tag, uint64_t limit,
                        uint32_t codepage) {
    const auto* entry = properties.Find(PROP_ID(tag));
    if (entry == nullptr) {
        return SPropValue::Error(tag, MAPI_E_NOT_FOUND);
    }
    uint16_t asked = PROP_TYPE(tag) == PT_UNSPECIFIED ? entry->type : PROP_TYPE(tag);
    if (!Compatible(asked, entry->type)) {
        return SPropValue::Error(tag, MAPI_E_NOT_FOUND);
    }
    try {
        if (properties.Size(*entry) > limit) {
            return SPropValue::Error(tag, MAPI_E_NOT_ENOUGH_MEMORY);
        }
        return ToPropValue(tag, properties.Decode(*entry, limit), codepage);
    } catch (const pst::Error& error) {
        return SPropValue::Error(tag, ReportCorrupt(error, "reading a property"));
    }
}

HRESULT ReportCorrupt(const std::exception& error, const char* what) {
    LogLine("**Warning**: PST data could not be read while %s: %s", what, error.what());
    return MAPI_E_CORRUPT_DATA;
}

}  // namespace mapipst
