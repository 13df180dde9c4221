#pragma once
// One MAPI attachment as a MIME body part: Content-ID, Content-Location, Content-Disposition with
// the file name, Content-Type from the extension, and the data transfer-encoded; an embedded
// message becomes a message/rfc822 part holding its own conversion.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace mimepp {
class BodyPart;
class Message;
}  // namespace mimepp

namespace Tarvik::MAPI {

// The attachment methods the converter knows (PR_ATTACH_METHOD).
inline constexpr int32_t AttachByValue = 1;
inline constexpr int32_t AttachEmbeddedMessage = 5;

// The properties an attachment part is made from; text is UTF-8, absent properties are empty.
struct AttachmentProperties {
    std::optional<int32_t> method;                  // PR_ATTACH_METHOD
    std::optional<std::string> contentId;           // PR_ATTACH_CONTENT_ID
    std::optional<std::string> longFilename;        // PR_ATTACH_LONG_FILENAME
    std::optional<std::string> filename;            // PR_ATTACH_FILENAME (8.3)
    std::optional<std::string> mimeTag;             // PR_ATTACH_MIME_TAG
    std::optional<std::string> displayName;         // PR_DISPLAY_NAME
    std::optional<std::string> contentLocation;     // PR_ATTACH_CONTENT_LOCATION
    std::optional<std::string> contentDisposition;  // PR_ATTACH_CONTENT_DISPOSITION
    std::optional<std::string> extension;           // PR_ATTACH_EXTENSION, ".pdf"
    std::optional<std::string> tag;                 // PR_ATTACH_TAG (bytes)

    // The name the attachment is saved under: the long file name, else the short one, else the
    // display name; nothing when it has none.
    std::optional<std::string> FileName() const;
};

// The part of a by-value attachment, its data given. `messageCharset` labels text data without a
// byte-order mark.
std::unique_ptr<mimepp::BodyPart> DataAttachmentPart(const AttachmentProperties& properties,
                                                     std::string_view data, std::string_view messageCharset);

// The part of an embedded message, its conversion given (assembled).
std::unique_ptr<mimepp::BodyPart> EmbeddedMessagePart(const AttachmentProperties& properties,
                                                      const mimepp::Message& converted);

// The part of an attachment whose content is not carried (a reference or an OLE object): its
// headers only.
std::unique_ptr<mimepp::BodyPart> ContentlessAttachmentPart(const AttachmentProperties& properties,
                                                            std::string_view messageCharset);

}  // namespace Tarvik::MAPI
