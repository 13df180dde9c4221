#pragma once
// The bodies of a message: its plain text, its HTML (or the HTML wrapped in its RTF body), the
// format it was written in, and plain text derived from its HTML.

#include <optional>
#include <string>

#include "mapi/RtfBody.h"

namespace Tarvik::MAPI {

class MailItem;

// PR_STORE_SUPPORT_MASK and the bits the converter reads of it.
inline constexpr uint32_t PropStoreSupportMask = 0x340D0003;
inline constexpr int64_t StoreUnicodeOk = 0x40000;

// The HTML body as bytes, and where it came from.
struct HtmlBody {
    std::string bytes;
    // Unwrapped from RTF: then UTF-8 whatever the message's code page; PR_HTML keeps the
    // message's own encoding.
    bool fromRtf = false;
};

// PR_BODY as UTF-8, or nothing when the message has no text body.
std::optional<std::string> GetTextBody(MailItem& item);

// PR_HTML; without it, when `allowRtf` and the store keeps RTF in step with the other bodies, the
// HTML that the RTF body wraps. Damaged compressed RTF is logged and gives no HTML.
std::optional<HtmlBody> GetHtmlBody(MailItem& item, bool allowRtf);

// The format a message in a non-Unicode store was written in (PR_NATIVE_BODY_INFO, else what its
// RTF body's header says). Nothing for messages of Unicode stores and when it cannot be told.
std::optional<NativeBody> NativeBodyType(MailItem& item);

// The plain text a reader sees in the message's PR_HTML (UTF-8 HTML), or nothing without one.
std::optional<std::string> GetTextFromHtml(MailItem& item);

}  // namespace Tarvik::MAPI
