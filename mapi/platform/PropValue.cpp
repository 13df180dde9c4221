#include "mapi/platform/PropValue.h"

#include <algorithm>
#include <cstring>

#include "runtime/Utf8.h"

const GUID PS_PUBLIC_STRINGS = GUID::Parse("{00020329-0000-0000-C000-000000000046}");
const GUID PS_MAPI = GUID::Parse("{00020328-0000-0000-C000-000000000046}");
const GUID PSETID_Common = GUID::Parse("{00062008-0000-0000-C000-000000000046}");
const GUID PSETID_Address = GUID::Parse("{00062004-0000-0000-C000-000000000046}");
const GUID PSETID_Task = GUID::Parse("{00062003-0000-0000-C000-000000000046}");
const GUID PSETID_Appointment = GUID::Parse("{00062002-0000-0000-C000-000000000046}");
const GUID PSETID_Meeting = GUID::Parse("{6ED8DA90-450B-101B-98DA-00AA003F1305}");

const SPropValue* SRow::Find(uint32_t tag) const {
    for (const auto& value : lpProps) {
        if (value.ulPropTag == tag) {
            return &value;
        }
    }
    return nullptr;
}

SRestriction SRestriction::And(std::vector<SRestriction> terms) {
    SRestriction r;
    r.rt = RES_AND;
    r.children = std::move(terms);
    return r;
}

SRestriction SRestriction::Or(std::vector<SRestriction> terms) {
    SRestriction r;
    r.rt = RES_OR;
    r.children = std::move(terms);
    return r;
}

SRestriction SRestriction::Not(SRestriction term) {
    SRestriction r;
    r.rt = RES_NOT;
    r.children.push_back(std::move(term));
    return r;
}

SRestriction SRestriction::Content(uint32_t fuzzyLevel, uint32_t tag, SPropValue value) {
    SRestriction r;
    r.rt = RES_CONTENT;
    r.ulFuzzyLevel = fuzzyLevel;
    r.ulPropTag = tag;
    r.prop = std::move(value);
    return r;
}

SRestriction SRestriction::Property(uint32_t relop, uint32_t tag, SPropValue value) {
    SRestriction r;
    r.rt = RES_PROPERTY;
    r.relop = relop;
    r.ulPropTag = tag;
    r.prop = std::move(value);
    return r;
}

SRestriction SRestriction::Exist(uint32_t tag) {
    SRestriction r;
    r.rt = RES_EXIST;
    r.ulPropTag = tag;
    return r;
}

SRestriction SRestriction::Bitmask(uint32_t relop, uint32_t tag, uint32_t mask) {
    SRestriction r;
    r.rt = RES_BITMASK;
    r.relop = relop;
    r.ulPropTag = tag;
    r.ulMask = mask;
    return r;
}

namespace {

void CollectTags(const SRestriction& r, SPropTagArray& tags) {
    if (r.rt == RES_AND || r.rt == RES_OR || r.rt == RES_NOT) {
        for (const auto& child : r.children) {
            CollectTags(child, tags);
        }
    } else if (std::find(tags.begin(), tags.end(), r.ulPropTag) == tags.end()) {
        tags.push_back(r.ulPropTag);
    }
}

bool IsText(uint16_t type) {
    return type == PT_UNICODE || type == PT_STRING8;
}

// FL_IGNORECASE folds ASCII letters; other characters compare as they are.
char Folded(char c, bool ignoreCase) {
    return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool SameAt(std::string_view text, size_t at, std::string_view pattern, bool ignoreCase) {
    if (text.size() - at < pattern.size()) {
        return false;
    }
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (Folded(text[at + i], ignoreCase) != Folded(pattern[i], ignoreCase)) {
            return false;
        }
    }
    return true;
}

// Tests every row of a restricted table, so it compares in place rather than folding copies.
bool StringContent(std::string_view value, std::string_view pattern, uint32_t fuzzy) {
    bool ignoreCase = (fuzzy & FL_IGNORECASE) != 0;
    switch (fuzzy & 0xFFFF) {
        case FL_SUBSTRING:
            for (size_t at = 0; at + pattern.size() <= value.size(); ++at) {
                if (SameAt(value, at, pattern, ignoreCase)) {
                    return true;
                }
            }
            return pattern.empty();
        case FL_PREFIX:
            return SameAt(value, 0, pattern, ignoreCase);
        default:
            return value.size() == pattern.size() && SameAt(value, 0, pattern, ignoreCase);
    }
}

std::string Fold(const std::string& text) {
    std::string folded = text;
    for (char& c : folded) {
        c = Folded(c, true);
    }
    return folded;
}

template <typename T>
int Order(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

SPropTagArray SRestriction::Tags() const {
    SPropTagArray tags;
    CollectTags(*this, tags);
    return tags;
}

bool ContentMatches(const SRestriction& r, const SPropValue& value) {
    const auto* pattern = std::get_if<std::string>(&r.prop.GetData());
    if (pattern == nullptr) {
        return false;
    }
    if (const auto* text = std::get_if<std::string>(&value.GetData())) {
        bool binary = !IsText(value.Type());
        return StringContent(*text, *pattern, binary ? (r.ulFuzzyLevel & 0xFFFF) : r.ulFuzzyLevel);
    }
    if (const auto* list = std::get_if<std::vector<std::string>>(&value.GetData())) {
        return std::any_of(list->begin(), list->end(),
                           [&](const std::string& e) { return StringContent(e, *pattern, r.ulFuzzyLevel); });
    }
    return false;
}

int ComparePropValues(const SPropValue& a, const SPropValue& b, bool* comparable) {
    *comparable = true;
    const auto& x = a.GetData();
    const auto& y = b.GetData();
    if (x.index() != y.index()) {
        *comparable = false;
        return 0;
    }
    if (const auto* i = std::get_if<int64_t>(&x)) {
        return Order(*i, std::get<int64_t>(y));
    }
    if (const auto* d = std::get_if<double>(&x)) {
        return Order(*d, std::get<double>(y));
    }
    if (const auto* s = std::get_if<std::string>(&x)) {
        if (IsText(a.Type())) {
            return Order(Fold(*s), Fold(std::get<std::string>(y)));
        }
        return Order(*s, std::get<std::string>(y));
    }
    *comparable = false;
    return 0;
}

bool PropertyMatches(const SRestriction& r, const SPropValue& value) {
    bool comparable = false;
    int order = ComparePropValues(value, r.prop, &comparable);
    if (!comparable) {
        return r.relop == RELOP_NE;
    }
    switch (r.relop) {
        case RELOP_LT:
            return order < 0;
        case RELOP_LE:
            return order <= 0;
        case RELOP_GT:
            return order > 0;
        case RELOP_GE:
            return order >= 0;
        case RELOP_EQ:
            return order == 0;
        case RELOP_NE:
            return order != 0;
        default:
            return false;
    }
}

bool BitmaskMatches(const SRestriction& r, const SPropValue& value) {
    const auto* number = std::get_if<int64_t>(&value.GetData());
    if (number == nullptr) {
        return false;
    }
    bool zero = (static_cast<uint64_t>(*number) & r.ulMask) == 0;
    return r.relop == BMR_EQZ ? zero : !zero;
}
