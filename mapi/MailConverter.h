#pragma once
// A mail item as the MIME message the server stores: the header block (dates, sender and
// sent-representing, recipients, Reply-To, subject, priority, Message-ID, the original transport
// headers), the bodies (plain text, HTML, HTML unwrapped from RTF) and the attachments, embedded
// messages converted in turn.
//
// The import engine uses it in three steps, so that it can check the size before staging:
//
//     std::unique_ptr<mimepp::Message> mime = ConvertMailToMime(message);   // converts
//     uint64_t size = MimeSize(*mime);                                       // size limit check
//     uint64_t written = WriteMime(*mime, out);                              // the upload file
//
// Exchange addresses are resolved through ImportAddressResolver() (the job's directory settings);
// those that cannot be resolved leave an empty address.
//
// Conversion failures are exceptions for the caller to report against the item: HRException when
// the item's recipients, attachment table or a body stream cannot be read, and whatever else the
// MAPI layer or the PST reader raise (std::exception). One attachment that fails is logged and left
// out; the rest of the item is still converted. One worker thread converts; nothing here locks.

#include <cstdint>
#include <memory>
#include <ostream>

namespace mimepp {
class Message;
}

namespace Tarvik::MAPI {

class MailItem;
class Message;

namespace storeUtils {
// Fills `mime` (a new, empty message) from the mail item and assembles it.
void Init(Message& message, mimepp::Message& mime);
}  // namespace storeUtils

// The MIME message of a mail item, assembled (its text is complete).
std::unique_ptr<mimepp::Message> ConvertMailToMime(Message& message);

// The same for any view of a message (one read straight from a PST file, for instance).
void ConvertMailItem(MailItem& item, mimepp::Message& mime);
std::unique_ptr<mimepp::Message> ConvertMailToMime(MailItem& item);

// Bytes of the assembled message's text.
uint64_t MimeSize(const mimepp::Message& mime);

// Writes the assembled message's text to `out` without copying it first (large attachments are
// written from the buffers that hold them). Returns the number of bytes written. Throws
// std::ios_base::failure naming the failure when the stream reports an error.
uint64_t WriteMime(const mimepp::Message& mime, std::ostream& out);

}  // namespace Tarvik::MAPI
