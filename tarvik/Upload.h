#pragma once
// Upload of message bodies, contact pictures and attachments to the server's upload service, which
// answers with a token that a SOAP request then names (AddMsgRequest's aid, ...). The content is
// sent as a multipart/form-data POST authenticated by the session's auth token in a cookie, and is
// streamed from its source in pieces.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace Tarvik::Rpc {
class Connection;
}

namespace Tarvik::Mail {

class Mailbox;
class MessageStream;

// Uploads `content` and returns the server's token, or nothing after logging (and dumping the
// content to the work directory) when the upload failed. `partHeader` replaces the default part
// header of the file field (see UploadPartHeader). Throws TarvikServiceException::AuthExpired
// when the server says the auth token has expired.
std::optional<std::string> DoFileUpload(const std::optional<std::string>& partHeader,
                                        Rpc::Connection& connection,
                                        const std::optional<std::string>& authToken,
                                        const MessageStream& content);

// DoFileUpload over the mailbox's connection and session; an expired token makes the mailbox log on
// again and the upload retry, up to three times. Nothing when no token was obtained.
std::optional<std::string> UploadWithRelogon(Mailbox& mailbox, const MessageStream& content,
                                             const std::optional<std::string>& partHeader = std::nullopt);

// The part header of an attachment with file name `name` and media type `mediaType` ("image/png").
// Quotation marks and line breaks in the name are percent-encoded so that they cannot end the field.
std::string UploadPartHeader(std::string_view name, std::string_view mediaType);

// A multipart boundary: "--B-00=_", four characters from `now`, sixteen pseudo-random ones seeded
// from a process-wide upload counter; 28 characters in all.
std::string MakeUploadBoundary(time_t now);

// The token of an upload answer "status,'client id','token'", or nothing when the answer has no
// such form or an empty token.
std::optional<std::string> ParseUploadToken(std::string_view answer);

}  // namespace Tarvik::Mail
