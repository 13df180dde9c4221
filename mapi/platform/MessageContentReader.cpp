#include "mapi/platform/MessageContentReader.h"

#include <stdexcept>

#include "mapi/platform/PropTags.h"
#include "runtime/Log.h"

namespace {

using msgfile::PropertyList;

// A stream of the layer read as the message file writer reads its large values.
class StreamSource : public cfb::ByteSource {
  public:
    explicit StreamSource(std::unique_ptr<IStream> stream) : stream_(std::move(stream)) {}
    size_t Read(uint8_t* buffer, size_t size) override {
        uint32_t read = 0;
        HRESULT hr = stream_->Read(buffer, static_cast<uint32_t>(std::min<size_t>(size, UINT32_MAX)), &read);
        if (FAILED(hr)) {
            throw std::runtime_error("a property stream could not be read (error " + std::to_string(hr) +
                                     ")");
        }
        return read;
    }

  private:
    std::unique_ptr<IStream> stream_;
};

msgfile::LargeValue LargeValueOf(std::shared_ptr<IMAPIProp> object, uint32_t tag) {
    return {[object, tag] {
        std::unique_ptr<IStream> stream;
        HRESULT hr = object->OpenProperty(tag, 0, stream);
        if (FAILED(hr)) {
            throw std::runtime_error("property 0x" + std::to_string(tag) + " could not be opened (error " +
                                     std::to_string(hr) + ")");
        }
        return std::unique_ptr<cfb::ByteSource>(std::make_unique<StreamSource>(std::move(stream)));
    }};
}

msgfile::Guid ToClsid(const std::string& bytes) {
    msgfile::Guid guid;
    std::copy_n(bytes.begin(), std::min<size_t>(bytes.size(), 16), guid.bytes.begin());
    return guid;
}

msgfile::PropertyValue ToContentValue(const SPropValue& value) {
    uint16_t type = value.Type();
    const auto& data = value.GetData();
    if (type == PT_BOOLEAN) {
        return value.AsBool();
    }
    if (type == PT_CLSID) {
        return ToClsid(value.AsBinary());
    }
    if (type == PT_MV_CLSID) {
        std::vector<msgfile::Guid> guids;
        for (const auto& bytes : value.AsBinaryList()) {
            guids.push_back(ToClsid(bytes));
        }
        return guids;
    }
    return std::visit(
        [](const auto& v) -> msgfile::PropertyValue {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return std::string();
            } else {
                return v;
            }
        },
        data);
}

bool IsNamed(uint32_t tag) {
    return PROP_ID(tag) >= 0x8000;
}

void AddNames(IMAPIProp& object, const SPropTagArray& tags, msgfile::MessageContent& root) {
    SPropTagArray named;
    for (uint32_t tag : tags) {
        if (IsNamed(tag) && !root.namedProperties.contains(PROP_ID(tag))) {
            named.push_back(tag);
        }
    }
    std::vector<std::optional<MAPINAMEID>> names;
    if (named.empty() || FAILED(object.GetNamesFromIDs(named, names))) {
        return;
    }
    for (size_t i = 0; i < named.size() && i < names.size(); ++i) {
        if (!names[i]) {
            continue;
        }
        msgfile::PropertyName name;
        name.propertySet = ToClsid(std::string(names[i]->lpguid.bytes.begin(), names[i]->lpguid.bytes.end()));
        if (names[i]->ulKind == MNID_STRING) {
            name.id = names[i]->lpwstrName;
        } else {
            name.id = names[i]->lID;
        }
        root.namedProperties.emplace(PROP_ID(named[i]), std::move(name));
    }
}

// Every property of an object; values too large for GetProps become streams.
HRESULT ReadProperties(const std::shared_ptr<IMAPIProp>& object, PropertyList& properties,
                       msgfile::MessageContent& root) {
    SPropTagArray tags;
    HRESULT hr = object->GetPropList(MAPI_UNICODE, tags);
    if (FAILED(hr)) {
        return hr;
    }
    std::erase_if(tags,
                  [](uint32_t tag) { return PROP_TYPE(tag) == PT_OBJECT || PROP_TYPE(tag) == PT_ERROR; });
    std::vector<SPropValue> values;
    hr = object->GetProps(tags, MAPI_UNICODE, values);
    if (FAILED(hr)) {
        return hr;
    }
    for (size_t i = 0; i < tags.size() && i < values.size(); ++i) {
        const SPropValue& value = values[i];
        if (!value.IsError()) {
            properties.push_back({value.ulPropTag, ToContentValue(value)});
        } else if (value.ErrorCode() == MAPI_E_NOT_ENOUGH_MEMORY) {
            properties.push_back({tags[i], LargeValueOf(object, tags[i])});
        } else {
            LogLine("**Warning**: property 0x%08x is left out of the message file: error 0x%x", tags[i],
                    static_cast<unsigned>(value.ErrorCode()));
        }
    }
    AddNames(*object, tags, root);
    return S_OK;
}

HRESULT ReadContent(const std::shared_ptr<IMessage>& message, msgfile::MessageContent& content,
                    msgfile::MessageContent& root);

void ReadRecipients(IMessage& message, msgfile::MessageContent& content) {
    std::unique_ptr<IMAPITable> table;
    SRowSet rows;
    if (FAILED(message.GetRecipientTable(MAPI_UNICODE, table)) ||
        FAILED(HrQueryAllRows(*table, nullptr, nullptr, nullptr, 0, rows))) {
        LogLine("**Warning**: the recipients of a message could not be read for its message file");
        return;
    }
    for (const auto& row : rows) {
        msgfile::Recipient recipient;
        for (const auto& value : row.lpProps) {
            if (!value.IsError() && value.ulPropTag != PR_INSTANCE_KEY) {
                recipient.properties.push_back({value.ulPropTag, ToContentValue(value)});
            }
        }
        content.recipients.push_back(std::move(recipient));
    }
}

void ReadAttachment(IMessage& message, uint32_t attachNum, msgfile::MessageContent& content,
                    msgfile::MessageContent& root) {
    std::unique_ptr<IAttach> opened;
    if (FAILED(message.OpenAttach(attachNum, 0, opened))) {
        LogLine("**Warning**: attachment %u could not be opened for the message file", attachNum);
        return;
    }
    std::shared_ptr<IAttach> attach(std::move(opened));
    msgfile::Attachment attachment;
    if (FAILED(ReadProperties(attach, attachment.properties, root))) {
        LogLine("**Warning**: attachment %u could not be read for the message file", attachNum);
        return;
    }
    SPropValue method;
    int32_t kind = SUCCEEDED(HrGetOneProp(*attach, PR_ATTACH_METHOD, method)) ? method.AsLong() : 0;
    if (kind == ATTACH_EMBEDDED_MSG) {
        std::unique_ptr<IMessage> embedded;
        if (SUCCEEDED(attach->OpenEmbeddedMessage(0, embedded))) {
            attachment.embeddedMessage = std::make_unique<msgfile::MessageContent>();
            std::shared_ptr<IMessage> shared(std::move(embedded));
            if (FAILED(ReadContent(shared, *attachment.embeddedMessage, root))) {
                attachment.embeddedMessage.reset();
            }
        }
    } else if (kind == ATTACH_OLE) {
        attachment.properties.push_back({PR_ATTACH_DATA_BIN, LargeValueOf(attach, PR_ATTACH_DATA_BIN)});
    }
    content.attachments.push_back(std::move(attachment));
}

void ReadAttachments(IMessage& message, msgfile::MessageContent& content, msgfile::MessageContent& root) {
    std::unique_ptr<IMAPITable> table;
    SRowSet rows;
    SPropTagArray columns = {PR_ATTACH_NUM};
    if (FAILED(message.GetAttachmentTable(0, table)) ||
        FAILED(HrQueryAllRows(*table, &columns, nullptr, nullptr, 0, rows))) {
        LogLine("**Warning**: the attachments of a message could not be read for its message file");
        return;
    }
    for (const auto& row : rows) {
        if (const SPropValue* number = row.Find(PR_ATTACH_NUM)) {
            ReadAttachment(message, static_cast<uint32_t>(number->AsLong()), content, root);
        }
    }
}

HRESULT ReadContent(const std::shared_ptr<IMessage>& message, msgfile::MessageContent& content,
                    msgfile::MessageContent& root) {
    HRESULT hr = ReadProperties(message, content.properties, root);
    if (FAILED(hr)) {
        return hr;
    }
    ReadRecipients(*message, content);
    ReadAttachments(*message, content, root);
    return S_OK;
}

}  // namespace

HRESULT ReadMessageContent(IMessage& message, msgfile::MessageContent& content) {
    content = {};
    // Borrowed: the caller keeps the message open while the content is written.
    std::shared_ptr<IMessage> borrowed(&message, [](IMessage*) {});
    return ReadContent(borrowed, content, content);
}
