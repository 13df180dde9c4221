#include "mapi/platform/MsgFileWriter.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "mapi/platform/MsgNamedPropertyMap.h"
#include "runtime/Utf8.h"

namespace msgfile {

namespace {

using EntryId = cfb::CompoundFileWriter::EntryId;
using NameMaps = std::vector<const std::map<uint16_t, PropertyName>*>;  // innermost last

constexpr uint16_t kTypeInt16 = 0x0002;
constexpr uint16_t kTypeInt32 = 0x0003;
constexpr uint16_t kTypeFloat32 = 0x0004;
constexpr uint16_t kTypeFloat64 = 0x0005;
constexpr uint16_t kTypeCurrency = 0x0006;
constexpr uint16_t kTypeAppTime = 0x0007;
constexpr uint16_t kTypeError = 0x000A;
constexpr uint16_t kTypeBoolean = 0x000B;
constexpr uint16_t kTypeObject = 0x000D;
constexpr uint16_t kTypeInt64 = 0x0014;
constexpr uint16_t kTypeString8 = 0x001E;
constexpr uint16_t kTypeUnicode = 0x001F;
constexpr uint16_t kTypeSysTime = 0x0040;
constexpr uint16_t kTypeClsid = 0x0048;
constexpr uint16_t kTypeServerId = 0x00FB;
constexpr uint16_t kTypeRestriction = 0x00FD;
constexpr uint16_t kTypeRuleActions = 0x00FE;
constexpr uint16_t kTypeBinary = 0x0102;
constexpr uint16_t kMultiValued = 0x1000;

constexpr uint32_t kPropertyFlags = 0x00000006;  // readable and writable
constexpr uint32_t kAttachDataObject = 0x3701000D;
constexpr uint32_t kStoreSupportMask = 0x340D0003;
constexpr int64_t kStoreUnicodeOk = 0x00040000;
constexpr uint16_t kFirstNamedId = 0x8000;

enum class HeaderKind { TopLevel, Embedded, RecipientOrAttachment };

// Why a property cannot be written; thrown before anything of it reaches the file.
struct Unwritable {
    std::string reason;
};

uint16_t TypeOf(uint32_t tag) {
    return static_cast<uint16_t>(tag & 0xFFFF);
}
uint16_t IdOf(uint32_t tag) {
    return static_cast<uint16_t>(tag >> 16);
}
uint32_t WithType(uint32_t tag, uint16_t type) {
    return (tag & 0xFFFF0000) | type;
}

void AppendLE(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i));
}

template <class T>
const T& As(const PropertyValue& value) {
    if (const T* typed = std::get_if<T>(&value))
        return *typed;
    throw Unwritable{"the value is not of the kind its type needs"};
}

int IntegerWidth(uint16_t type) {
    switch (type) {
        case kTypeInt16:
            return 2;
        case kTypeInt32:
        case kTypeError:
            return 4;
        case kTypeCurrency:
        case kTypeInt64:
        case kTypeSysTime:
            return 8;
        default:
            return 0;
    }
}

int RealWidth(uint16_t type) {
    switch (type) {
        case kTypeFloat32:
            return 4;
        case kTypeFloat64:
        case kTypeAppTime:
            return 8;
        default:
            return 0;
    }
}

bool IsBinaryType(uint16_t type) {
    return type == kTypeBinary || type == kTypeServerId || type == kTypeRestriction ||
           type == kTypeRuleActions;
}

// Signed or unsigned values of the width are accepted (MAPI keeps flags in PT_LONG).
void AppendInteger(std::string& out, int64_t value, int width) {
    if (width < 8) {
        int64_t low = -(int64_t{1} << (8 * width - 1));
        int64_t high = (int64_t{1} << (8 * width)) - 1;
        if (value < low || value > high)
            throw Unwritable{fmt::format("{} does not fit in {} bytes", value, width)};
    }
    AppendLE(out, static_cast<uint64_t>(value), width);
}

void AppendReal(std::string& out, double value, int width) {
    uint64_t bits = 0;
    if (width == 4) {
        auto single = static_cast<float>(value);
        uint32_t singleBits = 0;
        std::memcpy(&singleBits, &single, 4);
        bits = singleBits;
    } else {
        std::memcpy(&bits, &value, 8);
    }
    AppendLE(out, bits, width);
}

// The 8 bytes of an entry that holds its value in the property stream.
std::string InlineValue(uint16_t type, const PropertyValue& value) {
    std::string bytes;
    if (int width = IntegerWidth(type)) {
        AppendInteger(bytes, As<int64_t>(value), width);
    } else if (int width = RealWidth(type)) {
        AppendReal(bytes, As<double>(value), width);
    } else {
        bytes += static_cast<char>(As<bool>(value) ? 1 : 0);
    }
    bytes.resize(8, '\0');
    return bytes;
}

bool IsInlineType(uint16_t type) {
    return IntegerWidth(type) || RealWidth(type) || type == kTypeBoolean;
}

// All values of a multi-valued property of fixed-size elements, one after another.
std::string PackedValues(uint16_t elementType, const PropertyValue& value) {
    std::string out;
    if (int width = IntegerWidth(elementType); width && elementType != kTypeError) {
        for (int64_t element : As<std::vector<int64_t>>(value))
            AppendInteger(out, element, width);
    } else if (int width = RealWidth(elementType)) {
        for (double element : As<std::vector<double>>(value))
            AppendReal(out, element, width);
    } else if (elementType == kTypeClsid) {
        for (const Guid& element : As<std::vector<Guid>>(value))
            out.append(element.bytes.begin(), element.bytes.end());
    } else {
        throw Unwritable{fmt::format("the file has no room for type {:04X}", elementType | kMultiValued)};
    }
    return out;
}

std::string PropertyStreamHeader(HeaderKind kind, size_t recipients, size_t attachments) {
    std::string header(8, '\0');
    if (kind == HeaderKind::RecipientOrAttachment)
        return header;
    // Recipients and attachments are numbered from 0, so the next ids are the counts.
    AppendLE(header, recipients, 4);
    AppendLE(header, attachments, 4);
    AppendLE(header, recipients, 4);
    AppendLE(header, attachments, 4);
    if (kind == HeaderKind::TopLevel)
        header.append(8, '\0');
    return header;
}

// The property stream of one message, recipient or attachment, and the value streams beside it.
class PropertyStreamBuilder {
  public:
    PropertyStreamBuilder(cfb::CompoundFileWriter& file, EntryId storage) : file_(file), storage_(storage) {}

    bool Has(uint32_t fileTag) const { return written_.count(fileTag) != 0; }

    // Throws Unwritable, having written nothing, when the value cannot go into the file.
    void Add(uint32_t fileTag, const PropertyValue& value) {
        uint16_t type = TypeOf(fileTag);
        if (IsInlineType(type)) {
            AddEntry(fileTag, InlineValue(type, value));
        } else if (type & kMultiValued) {
            AddMultiValued(fileTag, value);
        } else {
            AddStreamed(fileTag, value);
        }
    }

    // The entry that stands for an embedded message's storage.
    void AddObject(uint32_t fileTag) { AddEntry(fileTag, SizeField(0xFFFFFFFF)); }

    void Finish(const std::string& header) {
        file_.AddStream(storage_, "__properties_version1.0", header + entries_);
    }

  private:
    static std::string StreamName(uint32_t tag) { return fmt::format("__substg1.0_{:08X}", tag); }

    static std::string SizeField(uint64_t size) {
        std::string field;
        AppendLE(field, std::min<uint64_t>(size, 0xFFFFFFFF), 4);
        field.append(4, '\0');
        return field;
    }

    void AddEntry(uint32_t fileTag, const std::string& value) {
        AppendLE(entries_, fileTag, 4);
        AppendLE(entries_, kPropertyFlags, 4);
        entries_ += value;
        written_.insert(fileTag);
    }

    void AddStreamed(uint32_t fileTag, const PropertyValue& value) {
        uint16_t type = TypeOf(fileTag);
        if (type == kTypeUnicode) {
            // Text is sized with its terminator, which the stream does not hold.
            uint64_t size = std::holds_alternative<LargeValue>(value)
                                ? CopyLarge(StreamName(fileTag), std::get<LargeValue>(value))
                                : AddStream(StreamName(fileTag), Utf8::ToUtf16LE(As<std::string>(value)));
            AddEntry(fileTag, SizeField(size + 2));
        } else if (IsBinaryType(type)) {
            uint64_t size = std::holds_alternative<LargeValue>(value)
                                ? CopyLarge(StreamName(fileTag), std::get<LargeValue>(value))
                                : AddStream(StreamName(fileTag), As<std::string>(value));
            AddEntry(fileTag, SizeField(size));
        } else if (type == kTypeClsid) {
            const Guid& guid = As<Guid>(value);
            std::string_view bytes(reinterpret_cast<const char*>(guid.bytes.data()), guid.bytes.size());
            AddEntry(fileTag, SizeField(AddStream(StreamName(fileTag), bytes)));
        } else {
            throw Unwritable{fmt::format("the file has no room for type {:04X}", type)};
        }
    }

    void AddMultiValued(uint32_t fileTag, const PropertyValue& value) {
        uint16_t elementType = TypeOf(fileTag) & ~kMultiValued;
        if (elementType != kTypeUnicode && elementType != kTypeBinary) {
            std::string packed = PackedValues(elementType, value);
            AddEntry(fileTag, SizeField(AddStream(StreamName(fileTag), packed)));
            return;
        }
        // One stream per value, and a stream of their lengths (binary lengths take 8 bytes).
        const auto& elements = As<std::vector<std::string>>(value);
        std::string lengths;
        for (size_t i = 0; i < elements.size(); ++i) {
            std::string bytes = elementType == kTypeUnicode
                                    ? Utf8::ToUtf16LE(elements[i]) + std::string(2, '\0')
                                    : elements[i];
            AppendLE(lengths, bytes.size(), elementType == kTypeUnicode ? 4 : 8);
            AddStream(fmt::format("{}-{:08X}", StreamName(fileTag), i), bytes);
        }
        AddEntry(fileTag, SizeField(AddStream(StreamName(fileTag), lengths)));
    }

    uint64_t AddStream(const std::string& name, std::string_view bytes) {
        file_.AddStream(storage_, name, bytes);
        return bytes.size();
    }

    uint64_t CopyLarge(const std::string& name, const LargeValue& value) {
        std::unique_ptr<cfb::ByteSource> source;
        try {
            if (value.open)
                source = value.open();
        } catch (const std::exception& error) {
            throw Unwritable{std::string("the value cannot be read: ") + error.what()};
        }
        if (!source)
            throw Unwritable{"the value cannot be read"};
        return file_.AddStream(storage_, name, *source);
    }

    cfb::CompoundFileWriter& file_;
    EntryId storage_;
    std::string entries_;
    std::set<uint32_t> written_;
};

// Writes a message and everything inside it, giving named properties the file's ids.
class MessageWriter {
  public:
    explicit MessageWriter(cfb::CompoundFileWriter& file) : file_(file) {}

    void WriteMessage(EntryId storage, const MessageContent& message, HeaderKind kind, NameMaps names,
                      const std::string& object) {
        names.push_back(&message.namedProperties);
        for (size_t i = 0; i < message.recipients.size(); ++i) {
            EntryId recipient = file_.AddStorage(storage, fmt::format("__recip_version1.0_#{:08X}", i));
            PropertyStreamBuilder stream(file_, recipient);
            AddProperties(stream, message.recipients[i].properties, names, Child(object, "recipient", i));
            stream.Finish(PropertyStreamHeader(HeaderKind::RecipientOrAttachment, 0, 0));
        }
        for (size_t i = 0; i < message.attachments.size(); ++i) {
            WriteAttachment(storage, i, message.attachments[i], names, Child(object, "attachment", i));
        }
        PropertyStreamBuilder stream(file_, storage);
        if (kind == HeaderKind::TopLevel)
            AddUnicodeSupport(stream, message.properties);
        AddProperties(stream, message.properties, names, object);
        stream.Finish(PropertyStreamHeader(kind, message.recipients.size(), message.attachments.size()));
    }

    MsgNamedPropertyMap& NamedProperties() { return namedProperties_; }
    std::vector<SkippedProperty>& Skipped() { return skipped_; }

  private:
    static std::string Child(const std::string& parent, const char* kind, size_t index) {
        return parent == "message" ? fmt::format("{} {}", kind, index)
                                   : fmt::format("{}/{} {}", parent, kind, index);
    }

    void WriteAttachment(EntryId message, size_t index, const Attachment& attachment, const NameMaps& names,
                         const std::string& object) {
        EntryId storage = file_.AddStorage(message, fmt::format("__attach_version1.0_#{:08X}", index));
        PropertyStreamBuilder stream(file_, storage);
        if (attachment.embeddedMessage) {
            EntryId embedded = file_.AddStorage(storage, "__substg1.0_3701000D", kMessageClsid);
            WriteMessage(embedded, *attachment.embeddedMessage, HeaderKind::Embedded, names,
                         object + "/message");
            stream.AddObject(kAttachDataObject);
        }
        AddProperties(stream, attachment.properties, names, object);
        stream.Finish(PropertyStreamHeader(HeaderKind::RecipientOrAttachment, 0, 0));
    }

    // Every text is written as Unicode, which the file must say for readers to take it so.
    void AddUnicodeSupport(PropertyStreamBuilder& stream, const PropertyList& properties) {
        int64_t mask = kStoreUnicodeOk;
        for (const Property& property : properties) {
            const auto* value = std::get_if<int64_t>(&property.value);
            if (property.tag == kStoreSupportMask && value)
                mask |= *value;
        }
        stream.Add(kStoreSupportMask, mask);
    }

    void AddProperties(PropertyStreamBuilder& stream, const PropertyList& properties, const NameMaps& names,
                       const std::string& object) {
        for (const Property& property : properties) {
            try {
                if (TypeOf(property.tag) == kTypeString8 &&
                    std::holds_alternative<LargeValue>(property.value)) {
                    throw Unwritable{"a large 8-bit text must be given as Unicode"};
                }
                uint32_t fileTag = FileTag(property.tag, names);
                if (stream.Has(fileTag)) {
                    // The mask merged into the one already written is no loss.
                    if (fileTag == kStoreSupportMask)
                        continue;
                    throw Unwritable{"the object already has a value for this property"};
                }
                stream.Add(fileTag, property.value);
            } catch (const Unwritable& unwritable) {
                skipped_.push_back({object, property.tag, unwritable.reason});
            }
        }
    }

    // The tag the property has in the file: texts become Unicode, named ids become the file's own.
    uint32_t FileTag(uint32_t tag, const NameMaps& names) {
        uint16_t type = TypeOf(tag);
        if (type == kTypeObject)
            throw Unwritable{"objects are kept only as embedded messages"};
        if (type == kTypeString8)
            tag = WithType(tag, kTypeUnicode);
        if (type == (kTypeString8 | kMultiValued))
            tag = WithType(tag, kTypeUnicode | kMultiValued);
        if (IdOf(tag) < kFirstNamedId)
            return tag;
        for (auto map = names.rbegin(); map != names.rend(); ++map) {
            auto found = (*map)->find(IdOf(tag));
            if (found == (*map)->end())
                continue;
            std::optional<uint16_t> id = namedProperties_.IdFor(found->second);
            if (!id)
                throw Unwritable{"the file has no named property id left"};
            return (uint32_t{*id} << 16) | TypeOf(tag);
        }
        throw Unwritable{"the named property has no name"};
    }

    cfb::CompoundFileWriter& file_;
    MsgNamedPropertyMap namedProperties_;
    std::vector<SkippedProperty> skipped_;
};

MsgFileResult WriteVersion(const MessageContent& message, const std::filesystem::path& path,
                           cfb::CompoundFileVersion version) {
    cfb::CompoundFileWriter file(path, version);
    file.SetClsid(cfb::CompoundFileWriter::kRoot, kMessageClsid);
    MessageWriter writer(file);
    writer.WriteMessage(cfb::CompoundFileWriter::kRoot, message, HeaderKind::TopLevel, {}, "message");
    writer.NamedProperties().Write(file);
    file.Commit();
    return MsgFileResult{std::move(writer.Skipped())};
}

}  // namespace

MsgFileResult MsgFileWriter::Write(const MessageContent& message, const std::filesystem::path& path) {
    try {
        return WriteVersion(message, path, cfb::CompoundFileVersion::V3);
    } catch (const cfb::StreamTooLargeError&) {
        // Streams of 2 GiB and more need the larger sectors of a version 4 file.
        return WriteVersion(message, path, cfb::CompoundFileVersion::V4);
    }
}

}  // namespace msgfile
