#pragma once
// The pieces of a converted message's header block that depend only on values: date texts,
// mailboxes, recipient names with an address in angle brackets, flat entry lists, the original
// transport headers and the priority.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mimepp {
class Headers;
class Mailbox;
}  // namespace mimepp

namespace Tarvik::MAPI {

// A FILETIME as a mail date in UTC, "Tue, 5 Mar 2013 14:03:09 -0000"; "No Date" when there is none.
std::string MailDateText(std::optional<int64_t> fileTime);

// True for the all-ones FILETIME that stands for "never".
inline bool IsNeverTime(int64_t fileTime) {
    return fileTime == -1;
}

// Control characters (below 0x20) become spaces, so that no value can break a header line.
std::string ReplaceControls(std::string_view text);

// A mailbox of a display name (UTF-8, may be empty) and an address: the domain is what follows
// the first "@"; an address without one is all local part.
std::unique_ptr<mimepp::Mailbox> MakeMailbox(std::string_view name, std::string_view address);

// A recipient stored without address columns often carries its address in its name,
// "Name <address>". Gives the name cut before the "<" (a space before it stays) and the address,
// when the name holds exactly one "<" and one ">" in that order with something between them;
// otherwise the name as it is and no address.
std::pair<std::string, std::string> SplitRecipientName(std::string_view name);

// The entry ids of a MAPI FLATENTRYLIST (a count, a byte total, then each entry id after its byte
// count, padded to four bytes). Entries that would run past the end are not returned.
std::vector<std::string> ParseFlatEntryList(std::string_view bytes);

// Copies the fields of an original transport header block into `headers`, except those the
// converter writes itself (dates, addresses, subject, content fields, Message-ID, ...) and the
// Received trace. A name met twice keeps its last value at the place of its first. Control
// characters become spaces; non-ASCII text is kept when it is UTF-8 and blanked otherwise.
void CopyOriginalHeaders(std::string_view block, mimepp::Headers& headers);

// The X-Priority value for a PR_IMPORTANCE: "5" low, "3" normal, "1" high; nothing otherwise.
std::optional<std::string> PriorityOfImportance(int32_t importance);

}  // namespace Tarvik::MAPI
