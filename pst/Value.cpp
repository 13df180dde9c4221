#include "pst/Value.h"

#include <cmath>
#include <cstring>
#include <ctime>

#include <fmt/format.h>

#include "pst/Codepage.h"
#include "runtime/Utf8.h"

namespace pst {

size_t FixedSize(uint16_t type) {
    switch (type) {
        case PropType::Short:
            return 2;
        case PropType::Long:
        case PropType::Float:
        case PropType::Error:
            return 4;
        case PropType::Boolean:
            return 1;
        case PropType::Double:
        case PropType::Currency:
        case PropType::AppTime:
        case PropType::Int64:
        case PropType::SysTime:
            return 8;
        case PropType::Clsid:
            return 16;
        default:
            return 0;
    }
}

Value::Value(uint16_t type, Bytes raw) : type_(type), raw_(std::move(raw)) {}

Value Value::Multi(uint16_t type, std::vector<Bytes> elements) {
    Value v;
    v.type_ = type | PropType::MultiValued;
    v.elements_ = std::move(elements);
    return v;
}

Value Value::ErrorValue(uint32_t code) {
    Bytes raw(4);
    Put32(raw.data(), code);
    return Value(PropType::Error, raw);
}

Value Value::FromStoredMulti(uint16_t type, ByteSpan stored) {
    const uint16_t base = type & ~PropType::MultiValued;
    std::vector<Bytes> elements;
    if (size_t size = FixedSize(base)) {
        if (stored.size() % size != 0) {
            throw Error(fmt::format("multi-valued {} value of {} bytes is not a whole number of elements",
                                    TypeName(type), stored.size()));
        }
        for (size_t off = 0; off < stored.size(); off += size) {
            elements.emplace_back(stored.begin() + off, stored.begin() + off + size);
        }
        return Multi(type, std::move(elements));
    }
    if (stored.empty()) {
        return Multi(type, {});
    }
    const uint32_t count = U32(stored, 0, "multi-valued count");
    if (count > (stored.size() - 4) / 4) {
        throw Error(fmt::format("multi-valued value claims {} elements in {} bytes", count, stored.size()));
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t begin = U32(stored, 4 + i * 4);
        uint32_t end = i + 1 < count ? U32(stored, 8 + i * 4) : static_cast<uint32_t>(stored.size());
        if (begin > end || end > stored.size() || begin < 4 + count * 4) {
            throw Error(fmt::format("multi-valued element {} lies at {}..{} outside its {}-byte value", i,
                                    begin, end, stored.size()));
        }
        elements.emplace_back(stored.begin() + begin, stored.begin() + end);
    }
    return Multi(type, std::move(elements));
}

Bytes Value::Stored() const {
    if (!IsMulti()) {
        return raw_;
    }
    Bytes out;
    if (FixedSize(type_ & ~PropType::MultiValued) != 0) {
        for (const auto& e : elements_) {
            AppendBytes(out, e);
        }
        return out;
    }
    Append32(out, static_cast<uint32_t>(elements_.size()));
    uint32_t offset = 4 + 4 * static_cast<uint32_t>(elements_.size());
    for (const auto& e : elements_) {
        Append32(out, offset);
        offset += static_cast<uint32_t>(e.size());
    }
    for (const auto& e : elements_) {
        AppendBytes(out, e);
    }
    return out;
}

int32_t Value::AsInt32() const {
    if (raw_.size() >= 4) {
        return static_cast<int32_t>(U32(raw_, 0));
    }
    if (raw_.size() >= 2) {
        return static_cast<int16_t>(U16(raw_, 0));
    }
    return raw_.empty() ? 0 : raw_[0];
}

int64_t Value::AsInt64() const {
    if (raw_.size() >= 8) {
        return static_cast<int64_t>(U64(raw_, 0));
    }
    return AsInt32();
}

bool Value::AsBool() const {
    for (uint8_t b : raw_) {
        if (b != 0) {
            return true;
        }
    }
    return false;
}

double Value::AsDouble() const {
    if (type_ == PropType::Float && raw_.size() >= 4) {
        uint32_t bits = U32(raw_, 0);
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    if (raw_.size() >= 8) {
        uint64_t bits = U64(raw_, 0);
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }
    return AsInt32();
}

namespace {

std::string TextOf(uint16_t baseType, const Bytes& bytes, uint32_t codepage) {
    std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::string text =
        baseType == PropType::Unicode ? Utf8::FromUtf16LE(view) : CodepageToUtf8(view, codepage);
    // Stored strings often carry their terminating NUL.
    while (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    return text;
}

}  // namespace

std::string Value::AsText(uint32_t codepage) const {
    return TextOf(type_, raw_, codepage);
}

std::vector<std::string> Value::AsTextList(uint32_t codepage) const {
    std::vector<std::string> out;
    for (const auto& e : elements_) {
        out.push_back(TextOf(type_ & ~PropType::MultiValued, e, codepage));
    }
    return out;
}

std::string TypeName(uint16_t type) {
    std::string prefix = (type & PropType::MultiValued) ? "PT_MV_" : "PT_";
    switch (type & ~PropType::MultiValued) {
        case PropType::Unspecified:
            return prefix + "UNSPECIFIED";
        case PropType::Null:
            return prefix + "NULL";
        case PropType::Short:
            return prefix + "SHORT";
        case PropType::Long:
            return prefix + "LONG";
        case PropType::Float:
            return prefix + "FLOAT";
        case PropType::Double:
            return prefix + "DOUBLE";
        case PropType::Currency:
            return prefix + "CURRENCY";
        case PropType::AppTime:
            return prefix + "APPTIME";
        case PropType::Error:
            return prefix + "ERROR";
        case PropType::Boolean:
            return prefix + "BOOLEAN";
        case PropType::Object:
            return prefix + "OBJECT";
        case PropType::Int64:
            return prefix + "I8";
        case PropType::String8:
            return prefix + "STRING8";
        case PropType::Unicode:
            return prefix + "UNICODE";
        case PropType::SysTime:
            return prefix + "SYSTIME";
        case PropType::Clsid:
            return prefix + "CLSID";
        case PropType::ServerId:
            return prefix + "SVREID";
        case PropType::Restriction:
            return prefix + "SRESTRICT";
        case PropType::RuleAction:
            return prefix + "ACTIONS";
        case PropType::Binary:
            return prefix + "BINARY";
        default:
            return fmt::format("0x{:04x}", type);
    }
}

std::string FileTimeToIso(int64_t fileTime) {
    // 100 ns units since 1601-01-01; 11644473600 s separate that from the Unix epoch.
    int64_t seconds = fileTime / 10000000 - 11644473600LL;
    time_t t = static_cast<time_t>(seconds);
    struct tm tm {};
    if (gmtime_r(&t, &tm) == nullptr) {
        return fmt::format("filetime:{}", fileTime);
    }
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                       tm.tm_hour, tm.tm_min, tm.tm_sec);
}

namespace {

std::string DescribeSingle(uint16_t type, const Bytes& raw, uint32_t codepage) {
    Value v(type, raw);
    switch (type) {
        case PropType::Short:
        case PropType::Long:
            return std::to_string(v.AsInt32());
        case PropType::Error:
            return fmt::format("error 0x{:08x}", static_cast<uint32_t>(v.AsInt32()));
        case PropType::Boolean:
            return v.AsBool() ? "true" : "false";
        case PropType::Float:
        case PropType::Double:
        case PropType::AppTime:
            return fmt::format("{}", v.AsDouble());
        case PropType::Int64:
        case PropType::Currency:
            return std::to_string(v.AsInt64());
        case PropType::SysTime:
            return FileTimeToIso(v.AsInt64());
        case PropType::String8:
        case PropType::Unicode:
            return v.AsText(codepage);
        default:
            return ToHex(raw);
    }
}

}  // namespace

std::string DescribeValue(const Value& value, uint32_t codepage) {
    if (!value.IsMulti()) {
        return DescribeSingle(value.Type(), value.Raw(), codepage);
    }
    std::string out = "[";
    for (size_t i = 0; i < value.Count(); ++i) {
        out += (i ? ", " : "") +
               DescribeSingle(value.Type() & ~PropType::MultiValued, value.Element(i), codepage);
    }
    return out + "]";
}

}  // namespace pst
