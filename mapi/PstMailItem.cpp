#include "mapi/PstMailItem.h"

#include "pst/Codepage.h"
#include "pst/Error.h"
#include "pst/PropTags.h"
#include "pst/TableContext.h"

namespace Tarvik::MAPI {

namespace {

constexpr uint32_t DefaultCodePage = 1252;

// What the PST store provider supports: entry ids, RTF, HTML, ... and, in Unicode files, Unicode.
constexpr uint32_t StoreSupportMaskTag = 0x340D0003;
constexpr int64_t AnsiStoreSupport = 0x00001 | 0x00002 | 0x00004 | 0x00008 | 0x00010 | 0x00020 | 0x00080 |
                                     0x00100 | 0x00200 | 0x00800 | 0x01000 | 0x10000;
constexpr int64_t UnicodeStoreSupport = AnsiStoreSupport | 0x40000;

uint16_t TypeOf(uint32_t tag) {
    return static_cast<uint16_t>(tag & 0xFFFF);
}
uint16_t IdOf(uint32_t tag) {
    return static_cast<uint16_t>(tag >> 16);
}

bool IsStringType(uint16_t type) {
    return type == pst::PropType::Unicode || type == pst::PropType::String8;
}

std::optional<int64_t> IntegerOf(const pst::Value& value) {
    switch (value.Type()) {
        case pst::PropType::Short:
        case pst::PropType::Long:
        case pst::PropType::Boolean:
            return value.AsInt32();
        case pst::PropType::Int64:
        case pst::PropType::SysTime:
            return value.AsInt64();
        default:
            return std::nullopt;
    }
}

std::string BytesOf(const pst::Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// String properties are asked for as either string type; binaries only as binaries.
bool TypesMatch(uint16_t asked, uint16_t stored) {
    return asked == stored || (IsStringType(asked) && IsStringType(stored));
}

std::optional<int64_t> ReadInteger(const pst::PropertyContext& properties, uint32_t tag) {
    std::optional<pst::Value> value = properties.Get(pst::MakeTag(IdOf(tag), pst::PropType::Unspecified));
    return value ? IntegerOf(*value) : std::nullopt;
}

std::optional<std::string> ReadBytes(const pst::PropertyContext& properties, uint32_t tag,
                                     uint32_t codePage) {
    const pst::PropertyContext::Entry* entry = properties.Find(IdOf(tag));
    if (entry == nullptr || !TypesMatch(TypeOf(tag), entry->type)) {
        return std::nullopt;
    }
    // Bodies and attachment data may be far larger than what is read in one piece.
    std::string raw = BytesOf(properties.OpenStream(*entry)->ReadRest());
    if (entry->type == pst::PropType::Unicode) {
        return pst::Value(entry->type, pst::Bytes(raw.begin(), raw.end())).AsText();
    }
    if (entry->type == pst::PropType::String8) {
        return pst::CodepageToUtf8(raw, codePage);
    }
    return raw;
}

std::optional<std::string> CellText(const pst::TableRow& row, uint16_t id, uint32_t codePage) {
    for (const auto& [tag, value] : row.values) {
        if (IdOf(tag) == id && IsStringType(value.Type())) {
            return value.AsText(codePage);
        }
        if (IdOf(tag) == id && value.Type() == pst::PropType::Binary) {
            return BytesOf(value.Raw());
        }
    }
    return std::nullopt;
}

std::optional<int32_t> CellInteger(const pst::TableRow& row, uint16_t id) {
    for (const auto& [tag, value] : row.values) {
        if (IdOf(tag) == id) {
            std::optional<int64_t> number = IntegerOf(value);
            return number ? std::optional<int32_t>(static_cast<int32_t>(*number)) : std::nullopt;
        }
    }
    return std::nullopt;
}

class PstMailAttachment : public MailAttachment {
  public:
    PstMailAttachment(pst::Attachment attachment, bool unicodeStore, uint32_t codePage)
        : attachment_(std::move(attachment)), unicodeStore_(unicodeStore), codePage_(codePage) {}

    AttachmentProperties Properties() override {
        const pst::PropertyContext& p = attachment_.Properties();
        auto text = [&](uint32_t tag) { return ReadBytes(p, tag, codePage_); };
        AttachmentProperties properties;
        std::optional<int64_t> method = ReadInteger(p, 0x37050003);
        properties.method = method ? std::optional<int32_t>(static_cast<int32_t>(*method)) : std::nullopt;
        properties.contentId = text(0x3712001F);
        properties.longFilename = text(0x3707001F);
        properties.filename = text(0x3704001F);
        properties.mimeTag = text(0x370E001F);
        properties.displayName = text(0x3001001F);
        properties.contentLocation = text(0x3713001F);
        properties.contentDisposition = text(0x3716001F);
        properties.extension = text(0x3703001F);
        properties.tag = ReadBytes(p, 0x37020102, codePage_);
        return properties;
    }

    std::optional<std::string> Data() override {
        return ReadBytes(attachment_.Properties(), pst::Tag::AttachDataBinary, codePage_);
    }

    std::unique_ptr<MailItem> EmbeddedMessage() override {
        if (!attachment_.HasEmbeddedMessage()) {
            return nullptr;
        }
        return std::make_unique<PstMailItem>(
            std::make_unique<pst::Message>(attachment_.OpenEmbeddedMessage()), unicodeStore_);
    }

  private:
    pst::Attachment attachment_;
    bool unicodeStore_;
    uint32_t codePage_;
};

uint32_t StringCodePage(const pst::PropertyContext& properties) {
    for (uint32_t tag : {pst::Tag::MessageCodepage, pst::Tag::InternetCodepage}) {
        std::optional<int64_t> codePage = ReadInteger(properties, tag);
        if (codePage && *codePage > 0) {
            return static_cast<uint32_t>(*codePage);
        }
    }
    return DefaultCodePage;
}

}  // namespace

PstMailItem::PstMailItem(const pst::Message& message, bool unicodeStore)
    : message_(message), unicodeStore_(unicodeStore), codePage_(StringCodePage(message.Properties())) {}

PstMailItem::PstMailItem(std::unique_ptr<pst::Message> owned, bool unicodeStore)
    : owned_(std::move(owned)),
      message_(*owned_),
      unicodeStore_(unicodeStore),
      codePage_(StringCodePage(message_.Properties())) {}

std::optional<int64_t> PstMailItem::Integer(uint32_t tag) {
    if (tag == StoreSupportMaskTag) {
        return unicodeStore_ ? UnicodeStoreSupport : AnsiStoreSupport;
    }
    return ReadInteger(message_.Properties(), tag);
}

std::optional<std::string> PstMailItem::Bytes(uint32_t tag) {
    return ReadBytes(message_.Properties(), tag, codePage_);
}

std::vector<RecipientRow> PstMailItem::Recipients() {
    std::vector<RecipientRow> rows;
    std::optional<pst::TableContext> table = message_.RecipientTable();
    for (size_t i = 0; table && i < table->RowCount(); ++i) {
        pst::TableRow row = table->ReadRow(i);
        rows.push_back({CellText(row, 0x3001, codePage_), CellText(row, 0x0FFF, codePage_),
                        CellText(row, 0x3002, codePage_), CellText(row, 0x3003, codePage_),
                        CellInteger(row, 0x0C15), CellText(row, 0x39FE, codePage_)});
    }
    return rows;
}

std::vector<std::unique_ptr<MailAttachment>> PstMailItem::Attachments() {
    std::vector<std::unique_ptr<MailAttachment>> attachments;
    std::optional<pst::TableContext> table = message_.AttachmentTable();
    for (size_t i = 0; table && i < table->RowCount(); ++i) {
        try {
            pst::TableRow row = table->ReadRow(i);
            attachments.push_back(std::make_unique<PstMailAttachment>(message_.OpenAttachment(row.rowId),
                                                                      unicodeStore_, codePage_));
        } catch (const pst::Error&) {
            attachments.push_back(nullptr);
        }
    }
    return attachments;
}

}  // namespace Tarvik::MAPI
