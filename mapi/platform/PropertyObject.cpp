#include "mapi/platform/PropertyObject.h"

#include <algorithm>

#include "mapi/platform/PstStream.h"
#include "runtime/Utf8.h"

namespace mapipst {

namespace {

bool SameId(uint32_t a, uint32_t b) {
    return PROP_ID(a) == PROP_ID(b);
}

// A computed value as asked for: its own type, or PT_UNSPECIFIED; else not found.
SPropValue AsAsked(uint32_t tag, const SPropValue& value) {
    if (PROP_TYPE(tag) != PT_UNSPECIFIED && PROP_TYPE(tag) != value.Type()) {
        return SPropValue::Error(tag, MAPI_E_NOT_FOUND);
    }
    return value;
}

}  // namespace

SPropValue PropertyReader::Value(uint32_t tag, uint64_t limit) {
    for (const auto& computed : ComputedValues()) {
        if (SameId(computed.ulPropTag, tag)) {
            return AsAsked(tag, computed);
        }
    }
    return ReadProperty(Properties(), tag, limit, context_->codepage);
}

HRESULT PropertyReader::GetProps(const SPropTagArray& tags, std::vector<SPropValue>& values) {
    values.clear();
    bool errors = false;
    for (uint32_t tag : tags) {
        values.push_back(Value(tag, IMAPIProp::kGetPropsLimit));
        errors = errors || values.back().IsError();
    }
    return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT PropertyReader::GetPropList(SPropTagArray& tags) {
    tags.clear();
    auto add = [&](uint32_t tag) {
        auto same = [&](uint32_t t) { return SameId(t, tag); };
        if (std::none_of(tags.begin(), tags.end(), same)) {
            tags.push_back(tag);
        }
    };
    for (const auto& computed : ComputedValues()) {
        add(computed.ulPropTag);
    }
    for (const auto& entry : Properties().Entries()) {
        add(entry.Tag());
    }
    return S_OK;
}

HRESULT PropertyReader::OpenProperty(uint32_t tag, std::unique_ptr<IStream>& stream) {
    stream.reset();
    if (PROP_TYPE(tag) == PT_OBJECT) {
        return MAPI_E_NO_SUPPORT;
    }
    const auto* entry = Properties().Find(PROP_ID(tag));
    if (entry == nullptr) {
        SPropValue value = Value(tag, UINT64_MAX);
        if (value.IsError()) {
            return value.ErrorCode();
        }
        if (const auto* bytes = std::get_if<std::string>(&value.GetData())) {
            stream = MemoryIStream(*bytes);
            return S_OK;
        }
        return MAPI_E_NOT_FOUND;
    }
    uint16_t asked = PROP_TYPE(tag) == PT_UNSPECIFIED ? entry->type : PROP_TYPE(tag);
    try {
        if (asked == entry->type) {
            stream = std::make_unique<PstStream>(Properties().OpenStream(*entry));
            return S_OK;
        }
        if ((asked == PT_UNICODE || asked == PT_STRING8) &&
            (entry->type == PT_UNICODE || entry->type == PT_STRING8)) {
            // The other string width: MAPI converts; texts are small enough to convert whole.
            std::string text = Properties().Decode(*entry, UINT64_MAX).AsText(context_->codepage);
            stream = MemoryIStream(asked == PT_UNICODE ? Utf8::ToUtf16LE(text) : text);
            return S_OK;
        }
    } catch (const std::exception& error) {
        return ReportCorrupt(error, "opening a property stream");
    }
    return MAPI_E_NOT_FOUND;
}

HRESULT PropertyReader::GetIDsFromNames(const std::vector<MAPINAMEID>& names, SPropTagArray& tags) {
    tags.clear();
    if (names.empty()) {
        return MAPI_E_NO_SUPPORT;
    }
    bool errors = false;
    try {
        const pst::NameMap& map = context_->file->Names();
        for (const auto& name : names) {
            auto id = name.ulKind == MNID_STRING ? map.Find(name.lpguid, name.lpwstrName)
                                                 : map.Find(name.lpguid, name.lID);
            tags.push_back(id ? PROP_TAG(PT_UNSPECIFIED, *id) : PROP_TAG(PT_ERROR, 0));
            errors = errors || !id;
        }
    } catch (const std::exception& error) {
        tags.clear();
        return ReportCorrupt(error, "reading the named-property map");
    }
    return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT PropertyReader::GetNamesFromIDs(const SPropTagArray& tags,
                                        std::vector<std::optional<MAPINAMEID>>& names) {
    names.clear();
    try {
        const pst::NameMap& map = context_->file->Names();
        for (uint32_t tag : tags) {
            const pst::NamedProperty* named = PROP_ID(tag) >= 0x8000 ? map.ById(PROP_ID(tag)) : nullptr;
            if (named == nullptr) {
                names.emplace_back();
            } else if (named->isString) {
                names.push_back(MAPINAMEID::Name(named->guid, named->name));
            } else {
                names.push_back(MAPINAMEID::Id(named->guid, named->number));
            }
        }
    } catch (const std::exception& error) {
        names.clear();
        return ReportCorrupt(error, "reading the named-property map");
    }
    return S_OK;
}

}  // namespace mapipst
