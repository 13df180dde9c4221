#include "mapi/platform/MsgNamedPropertyMap.h"

#include <fmt/format.h>
#include <zlib.h>

#include "runtime/Utf8.h"

namespace msgfile {

namespace {

constexpr uint16_t kFirstNamedId = 0x8000;
constexpr uint16_t kLastNamedId = 0xFFFE;
constexpr uint32_t kMappingStreamCount = 0x1F;

void AppendLE32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>(value >> (8 * i));
}

std::string StreamName(uint32_t id) {
    return fmt::format("__substg1.0_{:04X}0102", id);
}

// Property sets are numbered 1 (PS_MAPI), 2 (PS_PUBLIC_STRINGS) and from 3 on in the GUID stream.
class GuidTable {
  public:
    uint32_t IndexOf(const Guid& guid) {
        if (guid == kPsMapi)
            return 1;
        if (guid == kPsPublicStrings)
            return 2;
        for (size_t i = 0; i < guids_.size(); ++i) {
            if (guids_[i] == guid)
                return static_cast<uint32_t>(3 + i);
        }
        guids_.push_back(guid);
        return static_cast<uint32_t>(2 + guids_.size());
    }
    std::string Bytes() const {
        std::string out;
        for (const Guid& guid : guids_)
            out.append(guid.bytes.begin(), guid.bytes.end());
        return out;
    }

  private:
    std::vector<Guid> guids_;
};

uint32_t NameChecksum(std::string_view utf16) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(utf16.data()), static_cast<uInt>(utf16.size())));
}

}  // namespace

std::optional<uint16_t> MsgNamedPropertyMap::IdFor(const PropertyName& name) {
    if (auto found = ids_.find(name); found != ids_.end())
        return found->second;
    if (names_.size() > kLastNamedId - kFirstNamedId)
        return std::nullopt;
    auto id = static_cast<uint16_t>(kFirstNamedId + names_.size());
    names_.push_back(name);
    ids_.emplace(name, id);
    return id;
}

void MsgNamedPropertyMap::Write(cfb::CompoundFileWriter& file) const {
    GuidTable guids;
    std::string entries;
    std::string strings;
    std::map<uint32_t, std::string> mappingStreams;
    for (size_t index = 0; index < names_.size(); ++index) {
        const PropertyName& name = names_[index];
        uint32_t guidIndex = guids.IndexOf(name.propertySet);
        bool isString = std::holds_alternative<std::string>(name.id);
        uint32_t kindAndGuid = (guidIndex << 1) | (isString ? 1 : 0);
        uint32_t indexAndKind = (static_cast<uint32_t>(index) << 16) | kindAndGuid;
        uint32_t key = 0;  // what the lookup streams hash and hold: the number or the name's checksum
        if (isString) {
            std::string utf16 = Utf8::ToUtf16LE(std::get<std::string>(name.id));
            AppendLE32(entries, static_cast<uint32_t>(strings.size()));
            AppendLE32(strings, static_cast<uint32_t>(utf16.size()));
            strings += utf16;
            strings.resize((strings.size() + 3) / 4 * 4, '\0');
            key = NameChecksum(utf16);
        } else {
            key = std::get<uint32_t>(name.id);
            AppendLE32(entries, key);
        }
        AppendLE32(entries, indexAndKind);
        std::string& lookup = mappingStreams[0x1000 + (key ^ kindAndGuid) % kMappingStreamCount];
        AppendLE32(lookup, key);
        AppendLE32(lookup, indexAndKind);
    }
    auto storage = file.AddStorage(cfb::CompoundFileWriter::kRoot, "__nameid_version1.0");
    file.AddStream(storage, StreamName(0x0002), guids.Bytes());
    file.AddStream(storage, StreamName(0x0003), entries);
    file.AddStream(storage, StreamName(0x0004), strings);
    for (const auto& [id, lookup] : mappingStreams)
        file.AddStream(storage, StreamName(id), lookup);
}

}  // namespace msgfile
