#include "tools/Description.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include <fmt/format.h>

#include "pst/PropTags.h"
#include "tools/PropertyNames.h"

namespace pstgen {

using nlohmann::json;
using pst::Bytes;
using pst::MakeTag;
using pst::PropertyList;
using pst::Value;
namespace PropType = pst::PropType;
namespace Tag = pst::Tag;

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw pst::Error("description: " + what);
}

Bytes HexBytes(const std::string& text) {
    std::string hex;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            hex += c;
        } else if (!std::isspace(static_cast<unsigned char>(c)) && c != ':' && c != '-') {
            Fail("not hexadecimal: " + text);
        }
    }
    if (hex.size() % 2) {
        Fail("odd number of hex digits: " + text);
    }
    Bytes out;
    for (size_t i = 0; i < hex.size(); i += 2) {
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

Bytes Base64Bytes(const std::string& text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    Bytes out;
    uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=' || std::isspace(static_cast<unsigned char>(c))) {
            continue;
        }
        size_t v = alphabet.find(c);
        if (v == std::string::npos) {
            Fail("not base64: " + text.substr(0, 40));
        }
        buffer = (buffer << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<uint8_t>(buffer >> bits));
        }
    }
    return out;
}

Bytes FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Fail("cannot read " + path.string());
    }
    std::ostringstream s;
    s << in.rdbuf();
    std::string data = s.str();
    return Bytes(data.begin(), data.end());
}

// Binary content: {"hex"}, {"base64"}, {"text"}, {"file"}, {"size", "pattern"}, or a plain
// string of hex digits.
Bytes BinaryOf(const json& v, const std::filesystem::path& baseDir) {
    if (v.is_string()) {
        return HexBytes(v.get<std::string>());
    }
    if (!v.is_object()) {
        Fail("binary values are objects such as {\"hex\": \"0102\"}: " + v.dump());
    }
    if (v.contains("hex")) {
        return HexBytes(v["hex"].get<std::string>());
    }
    if (v.contains("base64")) {
        return Base64Bytes(v["base64"].get<std::string>());
    }
    if (v.contains("text")) {
        std::string t = v["text"].get<std::string>();
        return Bytes(t.begin(), t.end());
    }
    if (v.contains("file")) {
        return FileBytes(baseDir / v["file"].get<std::string>());
    }
    if (v.contains("size")) {
        std::string pattern = v.value("pattern", std::string("0123456789abcdef"));
        if (pattern.empty()) {
            Fail("empty pattern");
        }
        Bytes out(v["size"].get<size_t>());
        for (size_t i = 0; i < out.size(); ++i) {
            out[i] = static_cast<uint8_t>(pattern[i % pattern.size()]);
        }
        return out;
    }
    Fail("unknown binary value " + v.dump());
}

int64_t IntegerOf(const json& v) {
    if (v.is_number_integer() || v.is_number_unsigned()) {
        return v.get<int64_t>();
    }
    if (v.is_string()) {
        return static_cast<int64_t>(std::stoull(v.get<std::string>(), nullptr, 0));
    }
    Fail("not an integer: " + v.dump());
}

Bytes SingleValue(uint16_t type, const json& v, const std::filesystem::path& baseDir) {
    Bytes raw;
    switch (type) {
        case PropType::Short:
            raw.resize(2);
            pst::Put16(raw.data(), static_cast<uint16_t>(IntegerOf(v)));
            return raw;
        case PropType::Long:
        case PropType::Error:
            raw.resize(4);
            pst::Put32(raw.data(), static_cast<uint32_t>(IntegerOf(v)));
            return raw;
        case PropType::Boolean:
            if (!v.is_boolean()) {
                Fail("not a boolean: " + v.dump());
            }
            return Bytes{static_cast<uint8_t>(v.get<bool>() ? 1 : 0)};
        case PropType::Int64:
        case PropType::Currency:
            return pst::Int64Value(type, IntegerOf(v)).Raw();
        case PropType::Float:
        case PropType::Double:
        case PropType::AppTime:
            return pst::DoubleValue(type, v.get<double>()).Raw();
        case PropType::SysTime:
            return pst::TimeValue(v.is_string() ? ParseIsoTime(v.get<std::string>()) : IntegerOf(v)).Raw();
        case PropType::Unicode:
            return pst::TextValue(v.get<std::string>()).Raw();
        case PropType::String8: {
            std::string t = v.get<std::string>();
            return Bytes(t.begin(), t.end());
        }
        case PropType::Clsid: {
            auto g = pst::Guid::Parse(v.get<std::string>());
            return Bytes(g.bytes.begin(), g.bytes.end());
        }
        case PropType::Binary:
        case PropType::ServerId:
        case PropType::Restriction:
        case PropType::RuleAction:
            return BinaryOf(v, baseDir);
        default:
            Fail(fmt::format("values of type 0x{:04x} cannot be described", type));
    }
}

Value ValueOf(uint16_t type, const json& v, const std::filesystem::path& baseDir) {
    if (type & PropType::MultiValued) {
        if (!v.is_array()) {
            Fail("a multi-valued property needs an array: " + v.dump());
        }
        std::vector<Bytes> elements;
        for (const auto& e : v) {
            elements.push_back(SingleValue(type & ~PropType::MultiValued, e, baseDir));
        }
        return Value::Multi(type & ~PropType::MultiValued, std::move(elements));
    }
    return Value(type, SingleValue(type, v, baseDir));
}

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::stringstream in(s);
    std::string part;
    while (std::getline(in, part, sep)) {
        parts.push_back(part);
    }
    return parts;
}

}  // namespace

int64_t ParseIsoTime(const std::string& text) {
    int y, mo, d, h = 0, mi = 0, s = 0;
    char rest[16] = "";
    int n = std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d%15s", &y, &mo, &d, &h, &mi, &s, rest);
    if (n < 3) {
        Fail("not an ISO date: " + text);
    }
    struct tm tm {};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    int64_t unix = timegm(&tm);
    std::string zone = rest;
    if (!zone.empty() && zone[0] == '.') {
        zone = zone.substr(zone.find_first_not_of(".0123456789"));
    }
    if (!zone.empty() && (zone[0] == '+' || zone[0] == '-')) {
        int zh = 0, zm = 0;
        std::sscanf(zone.c_str() + 1, "%d:%d", &zh, &zm);
        int64_t offset = zh * 3600 + zm * 60;
        unix -= zone[0] == '+' ? offset : -offset;
    }
    return (unix + 11644473600LL) * 10000000LL;
}

std::pair<uint32_t, Value> ParseProperty(pst::PstWriter& writer, const std::string& key, const json& value,
                                         const std::filesystem::path& baseDir) {
    uint32_t tag;
    if (key.rfind("named:", 0) == 0) {
        // named:SET:ID:TYPE, where ID is 0x8216-style for a number or any other text for a name.
        auto parts = Split(key.substr(6), ':');
        if (parts.size() < 3) {
            Fail("named properties are written named:SET:ID:TYPE: " + key);
        }
        std::string type = parts.back();
        std::string set = parts[0];
        std::string id = key.substr(6 + set.size() + 1, key.size() - 6 - set.size() - 1 - type.size() - 1);
        auto t = TypeByName(type);
        if (!t) {
            Fail("unknown property type " + type + " in " + key);
        }
        pst::Guid guid = PropertySet(set);
        bool numeric =
            id.rfind("0x", 0) == 0 || (!id.empty() && std::all_of(id.begin(), id.end(), ::isdigit));
        uint16_t propId = numeric ? writer.NamedId(guid, static_cast<uint32_t>(std::stoul(id, nullptr, 0)))
                                  : writer.NamedId(guid, id);
        tag = pst::MakeTag(propId, *t);
    } else if (key.rfind("0x", 0) == 0) {
        tag = static_cast<uint32_t>(std::stoul(key, nullptr, 16));
    } else {
        auto parts = Split(key, ':');
        auto t = TagByName(parts[0]);
        if (!t) {
            Fail("unknown property name " + parts[0]);
        }
        tag = *t;
        if (parts.size() == 2) {
            auto type = TypeByName(parts[1]);
            if (!type) {
                Fail("unknown property type " + parts[1]);
            }
            tag = (tag & 0xFFFF0000) | *type;
        }
    }
    try {
        return {tag, ValueOf(pst::TagType(tag), value, baseDir)};
    } catch (const json::exception& e) {
        Fail(fmt::format("property {}: {}", key, e.what()));
    }
}

namespace {

struct Builder {
    pst::PstWriter& writer;
    std::filesystem::path baseDir;

    void AddProperties(PropertyList& list, const json& properties) {
        if (!properties.is_object()) {
            return;
        }
        for (const auto& [key, value] : properties.items()) {
            auto p = ParseProperty(writer, key, value, baseDir);
            list.erase(
                std::remove_if(list.begin(), list.end(),
                               [&](const auto& e) { return pst::TagId(e.first) == pst::TagId(p.first); }),
                list.end());
            list.push_back(std::move(p));
        }
    }

    PropertyList Recipient(const json& r, int32_t defaultType) {
        PropertyList p;
        if (r.is_string()) {
            p = {{Tag::DisplayName, pst::TextValue(r.get<std::string>())},
                 {Tag::EmailAddress, pst::TextValue(r.get<std::string>())},
                 {Tag::AddressType, pst::TextValue("SMTP")},
                 {Tag::RecipientType, pst::LongValue(defaultType)}};
            return p;
        }
        std::string email = r.value("email", std::string());
        std::string type = r.value("type", std::string());
        int32_t recipientType = type == "cc" ? 2 : type == "bcc" ? 3 : type.empty() ? defaultType : 1;
        p = {{Tag::DisplayName, pst::TextValue(r.value("name", email))},
             {Tag::EmailAddress, pst::TextValue(email)},
             {Tag::AddressType, pst::TextValue(r.value("addrtype", std::string("SMTP")))},
             {Tag::RecipientType, pst::LongValue(recipientType)}};
        AddProperties(p, r.value("properties", json::object()));
        return p;
    }

    pst::AttachmentSpec Attachment(const json& a) {
        pst::AttachmentSpec spec;
        auto& p = spec.properties;
        if (a.contains("filename")) {
            std::string name = a["filename"].get<std::string>();
            p.emplace_back(Tag::AttachLongFilename, pst::TextValue(name));
            p.emplace_back(Tag::AttachFilename, pst::TextValue(name));
            p.emplace_back(Tag::DisplayName, pst::TextValue(name));
            auto dot = name.rfind('.');
            if (dot != std::string::npos) {
                p.emplace_back(MakeTag(0x3703, PropType::Unicode), pst::TextValue(name.substr(dot)));
            }
        }
        if (a.contains("mime_type")) {
            p.emplace_back(Tag::AttachMimeTag, pst::TextValue(a["mime_type"].get<std::string>()));
        }
        if (a.contains("content_id")) {
            p.emplace_back(Tag::AttachContentId, pst::TextValue(a["content_id"].get<std::string>()));
        }
        if (a.value("inline", false)) {
            p.emplace_back(MakeTag(0x3714, PropType::Long), pst::LongValue(4));  // ATT_MHTML_REF
        }
        if (a.contains("message")) {
            spec.embedded = std::make_shared<pst::MessageSpec>(Message(a["message"]));
        } else if (a.contains("data")) {
            const json& d = a["data"];
            std::string text = d.is_string() ? d.get<std::string>() : std::string();
            Bytes data = d.is_string() ? Bytes(text.begin(), text.end()) : BinaryOf(d, baseDir);
            p.emplace_back(Tag::AttachDataBinary, pst::BinaryValue(std::move(data)));
        }
        AddProperties(p, a.value("properties", json::object()));
        return spec;
    }

    pst::MessageSpec Message(const json& m) {
        pst::MessageSpec spec;
        auto& p = spec.properties;
        auto text = [&](const char* field, uint32_t tag) {
            if (m.contains(field)) {
                p.emplace_back(tag, pst::TextValue(m[field].get<std::string>()));
            }
        };
        text("class", Tag::MessageClass);
        text("subject", Tag::Subject);
        text("body", Tag::Body);
        if (m.contains("subject")) {
            p.emplace_back(Tag::ConversationTopic, pst::TextValue(m["subject"].get<std::string>()));
        }
        if (m.contains("html")) {
            std::string html = m["html"].get<std::string>();
            p.emplace_back(MakeTag(0x1013, PropType::Binary),
                           pst::BinaryValue(Bytes(html.begin(), html.end())));
        }
        if (m.contains("from")) {
            const json& f = m["from"];
            std::string email = f.is_string() ? f.get<std::string>() : f.value("email", std::string());
            std::string name = f.is_string() ? email : f.value("name", email);
            std::string type = f.is_string() ? "SMTP" : f.value("addrtype", std::string("SMTP"));
            p.emplace_back(Tag::SentRepresentingName, pst::TextValue(name));
            p.emplace_back(MakeTag(0x0065, PropType::Unicode), pst::TextValue(email));
            p.emplace_back(MakeTag(0x0064, PropType::Unicode), pst::TextValue(type));
            p.emplace_back(MakeTag(0x0C1A, PropType::Unicode), pst::TextValue(name));
            p.emplace_back(MakeTag(0x0C1F, PropType::Unicode), pst::TextValue(email));
            p.emplace_back(MakeTag(0x0C1E, PropType::Unicode), pst::TextValue(type));
        }
        if (m.contains("sent")) {
            p.emplace_back(Tag::ClientSubmitTime, pst::TimeValue(ParseIsoTime(m["sent"].get<std::string>())));
        }
        if (m.contains("received")) {
            p.emplace_back(Tag::MessageDeliveryTime,
                           pst::TimeValue(ParseIsoTime(m["received"].get<std::string>())));
        }
        int32_t flags = m.value("read", true) ? 1 : 0;
        if (m.value("unsent", false)) {
            flags |= 8;
        }
        p.emplace_back(
            Tag::MessageFlags,
            pst::LongValue(m.contains("flags") ? static_cast<int32_t>(IntegerOf(m["flags"])) : flags));
        std::vector<std::string> names[4];
        for (const auto& [field, type] : {std::pair<const char*, int32_t>{"to", 1}, {"cc", 2}, {"bcc", 3}}) {
            for (const auto& r : m.value(field, json::array())) {
                spec.recipients.push_back(Recipient(r, type));
            }
        }
        for (const auto& r : m.value("recipients", json::array())) {
            spec.recipients.push_back(Recipient(r, 1));
        }
        for (const auto& r : spec.recipients) {
            int32_t type = 1;
            std::string name;
            for (const auto& [tag, v] : r) {
                if (tag == Tag::RecipientType)
                    type = v.AsInt32();
                if (tag == Tag::DisplayName)
                    name = v.AsText();
            }
            names[type & 3].push_back(name);
        }
        auto join = [](const std::vector<std::string>& list) {
            std::string out;
            for (const auto& n : list)
                out += (out.empty() ? "" : "; ") + n;
            return out;
        };
        p.emplace_back(Tag::DisplayTo, pst::TextValue(join(names[1])));
        p.emplace_back(Tag::DisplayCc, pst::TextValue(join(names[2])));
        p.emplace_back(Tag::DisplayBcc, pst::TextValue(join(names[3])));
        for (const auto& a : m.value("attachments", json::array())) {
            spec.attachments.push_back(Attachment(a));
        }
        AddProperties(p, m.value("properties", json::object()));
        return spec;
    }

    void Folder(uint32_t nid, const json& f) {
        for (const auto& m : f.value("messages", json::array())) {
            pst::MessageSpec spec = Message(m);
            int repeat = m.value("repeat", 1);
            for (int i = 0; i < repeat; ++i) {
                writer.AddMessage(nid, spec);
            }
        }
        for (const auto& m : f.value("associated", json::array())) {
            writer.AddMessage(nid, Message(m), true);
        }
        for (const auto& child : f.value("folders", json::array())) {
            Folder(ChildFolder(nid, child), child);
        }
    }

    uint32_t ChildFolder(uint32_t parent, const json& f) {
        std::string name = f.at("name").get<std::string>();
        if (parent == writer.Special(pst::SpecialFolder::IpmSubtree)) {
            static const std::pair<const char*, pst::SpecialFolder> standard[] = {
                {"Inbox", pst::SpecialFolder::Inbox},
                {"Outbox", pst::SpecialFolder::Outbox},
                {"Sent Items", pst::SpecialFolder::SentItems},
                {"Deleted Items", pst::SpecialFolder::DeletedItems},
                {"Drafts", pst::SpecialFolder::Drafts},
                {"Junk E-mail", pst::SpecialFolder::JunkEmail},
                {"Calendar", pst::SpecialFolder::Calendar},
                {"Contacts", pst::SpecialFolder::Contacts},
                {"Tasks", pst::SpecialFolder::Tasks}};
            for (const auto& [n, kind] : standard) {
                if (name == n) {
                    return writer.Special(kind);
                }
            }
        }
        PropertyList extra;
        AddProperties(extra, f.value("properties", json::object()));
        return writer.AddFolder(parent, name, f.value("class", std::string()), extra,
                                f.value("search", false));
    }
};

}  // namespace

void WriteDescription(const json& d, const std::filesystem::path& baseDir, const std::string& outputPath) {
    pst::WriterOptions options;
    std::string encryption = d.value("encryption", std::string("permute"));
    if (encryption == "none") {
        options.encryption = pst::Encryption::None;
    } else if (encryption == "cyclic" || encryption == "high") {
        options.encryption = pst::Encryption::Cyclic;
    } else if (encryption != "permute" && encryption != "compressible") {
        Fail("unknown encryption " + encryption);
    }
    std::string format = d.value("format", std::string("unicode"));
    if (format == "unicode-4k") {
        options.format = pst::Format::Unicode4K;
    } else if (format != "unicode") {
        Fail("unknown format " + format + " (unicode or unicode-4k)");
    }
    const json store = d.value("store", json::object());
    options.storeName = store.value("name", options.storeName);
    if (store.contains("password_crc")) {
        options.passwordCrc = static_cast<uint32_t>(IntegerOf(store["password_crc"]));
    }
    options.seed = d.value("seed", 1u);
    options.padToInterval = d.value("pad", true);
    pst::PstWriter writer(outputPath, options);
    Builder builder{writer, baseDir};
    for (const auto& f : d.value("folders", json::array())) {
        builder.Folder(builder.ChildFolder(writer.Special(pst::SpecialFolder::IpmSubtree), f), f);
    }
    writer.Finish();
}

}  // namespace pstgen
