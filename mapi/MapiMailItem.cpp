#include "mapi/MapiMailItem.h"

#include <algorithm>

#include "mapi/Message.h"
#include "mapi/SourceErrors.h"
#include "mapi/platform/PropTags.h"
#include "runtime/Utf8.h"

namespace Tarvik::MAPI {

namespace {

constexpr uint32_t PR_ATTACH_CONTENT_DISPOSITION_W = 0x3716001F;
constexpr uint32_t PR_ATTACH_TAG = 0x37020102;

// The one value of `tag`, error values included.
SPropValue OneValue(IMAPIProp& object, uint32_t tag) {
    std::vector<SPropValue> values;
    HRESULT hr = object.GetProps(SPropTagArray{tag}, MAPI_UNICODE, values);
    if (FAILED(hr)) {
        TVK_THROW_HR(hr);
    }
    return values.empty() ? SPropValue::Error(tag, MAPI_E_NOT_FOUND) : values.front();
}

std::optional<int64_t> IntegerOf(const SPropValue& value) {
    switch (value.Type()) {
        case PT_SHORT:
        case PT_LONG:
        case PT_BOOLEAN:
        case PT_I8:
        case PT_SYSTIME:
            return value.AsInt64();
        default:
            return std::nullopt;
    }
}

std::optional<std::string> TextOf(const SPropValue& value) {
    switch (value.Type()) {
        case PT_UNICODE:
        case PT_STRING8:
        case PT_BINARY:
            return value.AsText();
        default:
            return std::nullopt;
    }
}

// A value too large for GetProps, read whole from its stream.
std::string ReadStream(IMAPIProp& object, uint32_t tag) {
    std::unique_ptr<IStream> stream;
    HRESULT hr = object.OpenProperty(tag, 0, stream);
    STATSTG stat;
    if (SUCCEEDED(hr)) {
        hr = stream->Stat(stat, STATFLAG_NONAME);
    }
    if (FAILED(hr)) {
        TVK_THROW_HR(hr);
    }
    std::string bytes(stat.cbSize, '\0');
    uint32_t read = 0;
    for (size_t done = 0; done < bytes.size(); done += read) {
        uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(bytes.size() - done, 1u << 30));
        hr = stream->Read(bytes.data() + done, chunk, &read);
        if (FAILED(hr) || read == 0) {
            TVK_THROW_HR(FAILED(hr) ? hr : MAPI_E_CORRUPT_DATA);  // a short read
        }
    }
    return PROP_TYPE(tag) == PT_UNICODE ? Utf8::FromUtf16LE(bytes) : bytes;
}

std::optional<std::string> BytesOf(IMAPIProp& object, uint32_t tag, const SPropValue& value) {
    if (value.IsError()) {
        if (value.ErrorCode() == MAPI_E_NOT_ENOUGH_MEMORY) {
            return ReadStream(object, tag);
        }
        return std::nullopt;
    }
    return TextOf(value);
}

std::optional<std::string> CellText(const SRow& row, uint32_t tag) {
    const SPropValue* value = row.Find(tag);
    return value != nullptr ? TextOf(*value) : std::nullopt;
}

class MapiMailAttachment : public MailAttachment {
  public:
    explicit MapiMailAttachment(std::unique_ptr<IAttach> attach) : attach_(std::move(attach)) {}

    AttachmentProperties Properties() override {
        static const SPropTagArray tags = {PR_ATTACH_METHOD,
                                           PR_ATTACH_CONTENT_ID_W,
                                           PR_ATTACH_LONG_FILENAME_W,
                                           PR_ATTACH_FILENAME_W,
                                           PR_ATTACH_MIME_TAG_W,
                                           PR_DISPLAY_NAME_W,
                                           PR_ATTACH_CONTENT_LOCATION_W,
                                           PR_ATTACH_CONTENT_DISPOSITION_W,
                                           PR_ATTACH_EXTENSION_W,
                                           PR_ATTACH_TAG};
        std::vector<SPropValue> values;
        HRESULT hr = attach_->GetProps(tags, MAPI_UNICODE, values);
        if (FAILED(hr) || values.size() != tags.size()) {
            TVK_THROW_HR(FAILED(hr) ? hr : MAPI_E_CALL_FAILED);
        }
        std::optional<int64_t> method = IntegerOf(values[0]);
        AttachmentProperties p;
        p.method = method ? std::optional<int32_t>(static_cast<int32_t>(*method)) : std::nullopt;
        p.contentId = TextOf(values[1]);
        p.longFilename = TextOf(values[2]);
        p.filename = TextOf(values[3]);
        p.mimeTag = TextOf(values[4]);
        p.displayName = TextOf(values[5]);
        p.contentLocation = TextOf(values[6]);
        p.contentDisposition = TextOf(values[7]);
        p.extension = TextOf(values[8]);
        p.tag = TextOf(values[9]);
        return p;
    }

    std::optional<std::string> Data() override {
        return BytesOf(*attach_, PR_ATTACH_DATA_BIN, OneValue(*attach_, PR_ATTACH_DATA_BIN));
    }

    std::unique_ptr<MailItem> EmbeddedMessage() override {
        std::unique_ptr<IMessage> message;
        if (FAILED(attach_->OpenEmbeddedMessage(0, message)) || !message) {
            return nullptr;
        }
        return std::make_unique<MapiMailItem>(std::move(message));
    }

  private:
    std::unique_ptr<IAttach> attach_;
};

}  // namespace

MapiMailItem::MapiMailItem(const Message& message) : message_(*message.Get()), read_(&message) {}

MapiMailItem::MapiMailItem(std::unique_ptr<IMessage> owned) : owned_(std::move(owned)), message_(*owned_) {}

SPropValue MapiMailItem::Value(uint32_t tag) {
    // The item walk has read the common properties already.
    const SPropTagArray& common = MessagePropertyTags();
    auto it = read_ != nullptr ? std::find(common.begin(), common.end(), tag) : common.end();
    return it != common.end() ? read_->RawProperty(static_cast<size_t>(it - common.begin()))
                              : OneValue(message_, tag);
}

std::optional<int64_t> MapiMailItem::Integer(uint32_t tag) {
    return IntegerOf(Value(tag));
}

std::optional<std::string> MapiMailItem::Bytes(uint32_t tag) {
    return BytesOf(message_, tag, Value(tag));
}

std::vector<RecipientRow> MapiMailItem::Recipients() {
    static const SPropTagArray columns = {PR_DISPLAY_NAME_W,  PR_ENTRYID,        PR_ADDRTYPE_W,
                                          PR_EMAIL_ADDRESS_W, PR_RECIPIENT_TYPE, PR_SMTP_ADDRESS_W};
    std::unique_ptr<IMAPITable> table;
    SRowSet rows;
    HRESULT hr = message_.GetRecipientTable(MAPI_UNICODE, table);
    if (SUCCEEDED(hr)) {
        hr = HrQueryAllRows(*table, &columns, nullptr, nullptr, 0, rows);
    }
    if (FAILED(hr)) {
        TVK_THROW_HR(hr);
    }
    std::vector<RecipientRow> recipients;
    for (const SRow& row : rows) {
        const SPropValue* type = row.Find(PR_RECIPIENT_TYPE);
        recipients.push_back(
            {CellText(row, PR_DISPLAY_NAME_W), CellText(row, PR_ENTRYID), CellText(row, PR_ADDRTYPE_W),
             CellText(row, PR_EMAIL_ADDRESS_W),
             type != nullptr && !type->IsError() ? std::optional<int32_t>(type->AsLong()) : std::nullopt,
             CellText(row, PR_SMTP_ADDRESS_W)});
    }
    return recipients;
}

std::vector<std::unique_ptr<MailAttachment>> MapiMailItem::Attachments() {
    static const SPropTagArray columns = {PR_ATTACH_NUM, PR_ATTACH_SIZE};
    std::unique_ptr<IMAPITable> table;
    SRowSet rows;
    HRESULT hr = message_.GetAttachmentTable(MAPI_UNICODE, table);
    if (SUCCEEDED(hr)) {
        hr = HrQueryAllRows(*table, &columns, nullptr, nullptr, 0, rows);
    }
    if (FAILED(hr)) {
        TVK_THROW_HR(hr);
    }
    std::vector<std::unique_ptr<MailAttachment>> attachments;
    for (const SRow& row : rows) {
        const SPropValue* number = row.Find(PR_ATTACH_NUM);
        std::unique_ptr<IAttach> attach;
        if (number == nullptr || number->IsError() ||
            FAILED(message_.OpenAttach(static_cast<uint32_t>(number->AsLong()), 0, attach)) || !attach) {
            attachments.push_back(nullptr);
            continue;
        }
        attachments.push_back(std::make_unique<MapiMailAttachment>(std::move(attach)));
    }
    return attachments;
}

}  // namespace Tarvik::MAPI
