#pragma once
// Where a converted message's bodies go: a single-part message for one body, multipart/alternative
// (plain text first) for two, and multipart/mixed with the bodies as its first part when the
// message has attachments, which follow that first part.

#include <optional>
#include <string>

namespace mimepp {
class Entity;
class Message;
}  // namespace mimepp

namespace Tarvik::MAPI {

// A body ready for a text part: its bytes in the charset that labels them.
struct TextPartContent {
    std::string bytes;
    std::string charset;
};

struct MessageBodies {
    std::optional<TextPartContent> text;  // text/plain
    std::optional<TextPartContent> html;  // text/html
};

// Gives `entity` the Content-Type "text/<subtype>; charset=<charset>;" and the content as its
// body, transfer-encoded with CR LF line ends.
void SetTextContent(mimepp::Entity& entity, const char* subtype, const TextPartContent& content);

// Lays the bodies out in `mime` (which has its other headers already). With `hasAttachments`
// the message becomes multipart/mixed and the bodies its first part; the caller adds the
// attachment parts to the message's body after it.
void AddBodies(mimepp::Message& mime, const MessageBodies& bodies, bool hasAttachments);

}  // namespace Tarvik::MAPI
