#include "mapi/AttachmentPart.h"

#include "mapi/AttachmentContentTypes.h"
#include "mapi/AttachmentData.h"
#include "mime/AddBodyToPart.h"
#include "mime/Body.h"
#include "mime/BodyPart.h"
#include "mime/DispositionType.h"
#include "mime/HeaderText.h"
#include "mime/MediaType.h"
#include "mime/Message.h"
#include "mime/MsgId.h"
#include "mime/TransferEncodingType.h"

namespace Tarvik::MAPI {

namespace {

constexpr std::string_view DefaultContentType = "application/octet-stream";

// A MIME tag usable as a content type: one "type/subtype" token pair and nothing else.
bool IsPlainMediaType(std::string_view tag) {
    size_t slash = tag.find('/');
    if (slash == std::string_view::npos || slash == 0 || slash + 1 == tag.size()) {
        return false;
    }
    for (char c : tag) {
        bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       std::string_view("/.+-_").find(c) != std::string_view::npos;
        if (!allowed) {
            return false;
        }
    }
    return tag.find('/', slash + 1) == std::string_view::npos;
}

std::optional<std::string> ExtensionOf(const AttachmentProperties& properties) {
    if (properties.extension && !properties.extension->empty()) {
        return properties.extension;
    }
    std::optional<std::string> name = properties.FileName();
    size_t dot = name ? name->rfind('.') : std::string::npos;
    if (dot == std::string::npos) {
        return std::nullopt;
    }
    return name->substr(dot);
}

std::string MediaTypeOf(const AttachmentProperties& properties) {
    if (std::optional<std::string> extension = ExtensionOf(properties)) {
        if (std::optional<std::string> type = ContentTypeFromRegistry(*extension)) {
            return *type;
        }
    }
    if (properties.mimeTag && IsPlainMediaType(*properties.mimeTag)) {
        return *properties.mimeTag;
    }
    return std::string(DefaultContentType);
}

void SetContentType(mimepp::BodyPart& part, const AttachmentProperties& properties,
                    std::string_view charset) {
    bool appleDouble =
        properties.mimeTag && properties.mimeTag->find("multipart/appledouble") != std::string::npos;
    std::string type = appleDouble ? *properties.mimeTag : MediaTypeOf(properties);
    type += "; charset=";
    type += charset;
    type += ";";
    // Stored as built and parsed, so that it is written exactly so.
    mimepp::MediaType& contentType = part.Headers().ContentType();
    contentType.SetText(mimepp::String(std::move(type)));
    contentType.Parse();
}

void SetDisposition(mimepp::BodyPart& part, std::string_view type,
                    const std::optional<std::string>& fileName) {
    mimepp::DispositionType& disposition = part.Headers().ContentDisposition();
    disposition.SetType(mimepp::String(type));
    if (fileName && !fileName->empty()) {
        disposition.SetFilename(mimepp::String(mimepp::EncodeHeaderText(*fileName)));
    }
    disposition.Assemble();
}

// The headers every attachment part starts with.
std::unique_ptr<mimepp::BodyPart> NewAttachmentPart(const AttachmentProperties& properties) {
    auto part = std::make_unique<mimepp::BodyPart>();
    if (properties.contentId) {
        part->Headers().ContentId().SetText(mimepp::String("<" + *properties.contentId + ">"));
    }
    if (properties.contentLocation) {
        part->Headers()
            .FieldBodyByName("Content-Location")
            .FromString(mimepp::String(*properties.contentLocation));
    }
    SetDisposition(*part, properties.contentDisposition.value_or("attachment"), properties.FileName());
    return part;
}

}  // namespace

std::optional<std::string> AttachmentProperties::FileName() const {
    for (const std::optional<std::string>* name : {&longFilename, &filename, &displayName}) {
        if (*name && !(*name)->empty()) {
            return **name;
        }
    }
    return std::nullopt;
}

std::unique_ptr<mimepp::BodyPart> DataAttachmentPart(const AttachmentProperties& properties,
                                                     std::string_view data, std::string_view messageCharset) {
    auto part = NewAttachmentPart(properties);
    std::optional<ByteOrderMark> mark = FindByteOrderMark(data);
    if (properties.tag == MacBinaryAttachTag) {
        // The resource fork and the Finder data mean nothing off a Mac.
        data = MacBinaryDataFork(data).value_or(data);
    }
    // The mark stays in the data: it is part of the file, and the file must come back unchanged.
    Util::AddBodyToPart(*part, data.data(), data.size(), false);
    SetContentType(*part, properties, mark ? mark->charset : messageCharset);
    return part;
}

std::unique_ptr<mimepp::BodyPart> EmbeddedMessagePart(const AttachmentProperties& properties,
                                                      const mimepp::Message& converted) {
    auto part = NewAttachmentPart(properties);
    mimepp::MediaType& contentType = part->Headers().ContentType();
    contentType.SetText("message/rfc822; charset=utf-7;");
    contentType.Parse();
    mimepp::TransferEncodingType& encoding = part->Headers().ContentTransferEncoding();
    encoding.SetText("7bit");
    encoding.Assemble();
    std::optional<std::string> name = properties.displayName;
    SetDisposition(*part, "attachment", name);
    part->Body().SetText(converted.AsString());
    return part;
}

std::unique_ptr<mimepp::BodyPart> ContentlessAttachmentPart(const AttachmentProperties& properties,
                                                            std::string_view messageCharset) {
    auto part = NewAttachmentPart(properties);
    SetContentType(*part, properties, messageCharset);
    return part;
}

}  // namespace Tarvik::MAPI
