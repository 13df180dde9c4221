#include "mapi/BodyRetrieval.h"

#include "mapi/CompressedRtf.h"
#include "mapi/HtmlText.h"
#include "mapi/MailItem.h"
#include "runtime/Log.h"

namespace Tarvik::MAPI {

namespace {

constexpr uint32_t PropBody = 0x1000001F;
constexpr uint32_t PropHtml = 0x10130102;
constexpr uint32_t PropRtfCompressed = 0x10090102;
constexpr uint32_t PropRtfInSync = 0x0E1F000B;
constexpr uint32_t PropNativeBodyInfo = 0x10160003;

std::optional<std::string> RtfOf(MailItem& item) {
    std::optional<std::string> compressed = item.Bytes(PropRtfCompressed);
    if (!compressed) {
        return std::nullopt;
    }
    try {
        return DecompressRtf(*compressed);
    } catch (const CompressedRtfError& error) {
        LogLine("**Warning**: The RTF body cannot be read: %s", error.what());
        return std::nullopt;
    }
}

}  // namespace

std::optional<std::string> GetTextBody(MailItem& item) {
    return item.Bytes(PropBody);
}

std::optional<HtmlBody> GetHtmlBody(MailItem& item, bool allowRtf) {
    if (std::optional<std::string> html = item.Bytes(PropHtml)) {
        return HtmlBody{std::move(*html), false};
    }
    bool rtfKept = item.Integer(PropStoreSupportMask) || item.Integer(PropRtfInSync);
    if (!allowRtf || !rtfKept) {
        return std::nullopt;
    }
    std::optional<std::string> rtf = RtfOf(item);
    std::optional<std::string> html = rtf ? UnwrapHtmlFromRtf(*rtf) : std::nullopt;
    if (!html) {
        return std::nullopt;
    }
    return HtmlBody{std::move(*html), true};
}

std::optional<NativeBody> NativeBodyType(MailItem& item) {
    std::optional<int64_t> support = item.Integer(PropStoreSupportMask);
    if (support && (*support & StoreUnicodeOk) != 0) {
        return std::nullopt;
    }
    if (std::optional<int64_t> info = item.Integer(PropNativeBodyInfo)) {
        // PR_NATIVE_BODY_INFO: 1 plain text, 2 RTF, 3 HTML, 4 clear-signed.
        switch (*info) {
            case 1:
                return NativeBody::PlainText;
            case 2:
                return NativeBody::Rtf;
            case 3:
                return NativeBody::Html;
            default:
                break;
        }
    }
    std::optional<std::string> rtf = RtfOf(item);
    return rtf ? std::optional<NativeBody>(NativeBodyTypeOfRtf(*rtf)) : std::nullopt;
}

std::optional<std::string> GetTextFromHtml(MailItem& item) {
    std::optional<std::string> html = item.Bytes(PropHtml);
    if (!html) {
        return std::nullopt;
    }
    return TextFromHtml(*html, "utf-8");
}

}  // namespace Tarvik::MAPI
