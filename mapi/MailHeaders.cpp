#include "mapi/MailHeaders.h"

#include <array>
#include <cstring>
#include <ctime>

#include <fmt/format.h>

#include "mime/Field.h"
#include "mime/Headers.h"
#include "mime/Mailbox.h"
#include "runtime/Utf8.h"

namespace Tarvik::MAPI {

namespace {

constexpr int64_t FileTimeTicksPerSecond = 10'000'000;
constexpr int64_t FileTimeSecondsTo1970 = 11'644'473'600;

constexpr std::array<const char*, 7> DayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> MonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The converter writes these itself; Received lines describe another server's delivery.
constexpr std::array<std::string_view, 15> NeverCopiedHeaders{"MIME-Version",
                                                              "Date",
                                                              "Sender",
                                                              "From",
                                                              "To",
                                                              "Cc",
                                                              "Bcc",
                                                              "Reply-To",
                                                              "Subject",
                                                              "Content-Type",
                                                              "Content-Transfer-Encoding",
                                                              "X-Priority",
                                                              "Message-ID",
                                                              "X-Unsent",
                                                              "Received"};

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool IsNeverCopied(std::string_view name) {
    for (std::string_view never : NeverCopiedHeaders) {
        if (EqualsIgnoreCase(name, never)) {
            return true;
        }
    }
    return false;
}

uint32_t ReadUint32(std::string_view bytes, size_t offset) {
    auto byte = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + i]));
    };
    return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

// A header value as it may travel: controls are spaces; 8-bit bytes stay only as UTF-8 (an
// address or message id in another encoding could not be read back anyway).
std::string CleanHeaderValue(std::string_view value) {
    std::string clean = ReplaceControls(value);
    if (!Utf8::IsValid(clean)) {
        for (char& c : clean) {
            if (static_cast<unsigned char>(c) >= 0x80) {
                c = ' ';
            }
        }
    }
    return clean;
}

}  // namespace

std::string MailDateText(std::optional<int64_t> fileTime) {
    if (!fileTime) {
        return "No Date";
    }
    // Floor division keeps times before 1970 on the right second.
    int64_t seconds = *fileTime / FileTimeTicksPerSecond;
    if (*fileTime % FileTimeTicksPerSecond < 0) {
        --seconds;
    }
    time_t unixTime = static_cast<time_t>(seconds - FileTimeSecondsTo1970);
    std::tm parts{};
    if (gmtime_r(&unixTime, &parts) == nullptr) {
        return "No Date";
    }
    return fmt::format("{}, {} {} {:04} {:02}:{:02}:{:02} -0000", DayNames[parts.tm_wday], parts.tm_mday,
                       MonthNames[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour, parts.tm_min,
                       parts.tm_sec);
}

std::string ReplaceControls(std::string_view text) {
    std::string clean(text);
    for (char& c : clean) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = ' ';
        }
    }
    return clean;
}

std::unique_ptr<mimepp::Mailbox> MakeMailbox(std::string_view name, std::string_view address) {
    auto mailbox = std::make_unique<mimepp::Mailbox>();
    std::string displayName = ReplaceControls(name);
    if (!displayName.empty()) {
        mailbox->SetDisplayName(displayName, "UTF-8");
    }
    size_t at = address.find('@');
    if (at == std::string_view::npos) {
        mailbox->SetLocalPart(mimepp::String(address));
    } else {
        mailbox->SetLocalPart(mimepp::String(address.substr(0, at)));
        mailbox->SetDomain(mimepp::String(address.substr(at + 1)));
    }
    return mailbox;
}

std::pair<std::string, std::string> SplitRecipientName(std::string_view name) {
    size_t open = name.find('<');
    size_t close = name.find('>');
    bool oneOfEach = open != std::string_view::npos && close != std::string_view::npos &&
                     name.find('<', open + 1) == std::string_view::npos &&
                     name.find('>', close + 1) == std::string_view::npos;
    if (!oneOfEach || close <= open + 1) {
        return {std::string(name), std::string()};
    }
    return {std::string(name.substr(0, open)), std::string(name.substr(open + 1, close - open - 1))};
}

std::vector<std::string> ParseFlatEntryList(std::string_view bytes) {
    std::vector<std::string> entries;
    if (bytes.size() < 8) {
        return entries;
    }
    uint32_t count = ReadUint32(bytes, 0);
    size_t offset = 8;
    for (uint32_t i = 0; i < count && bytes.size() - offset >= 4; ++i) {
        size_t length = ReadUint32(bytes, offset);
        offset += 4;
        if (length > bytes.size() - offset) {
            break;
        }
        entries.emplace_back(bytes.substr(offset, length));
        offset += (length + 3) / 4 * 4;
        if (offset > bytes.size()) {
            break;
        }
    }
    return entries;
}

void CopyOriginalHeaders(std::string_view block, mimepp::Headers& headers) {
    mimepp::Headers original;
    original.SetText(mimepp::String(block));
    original.Parse();
    for (size_t i = 0; i < original.NumFields(); ++i) {
        mimepp::Field& field = original.FieldAt(i);
        std::string_view name = field.FieldName().View();
        if (name.empty() || IsNeverCopied(name)) {
            continue;
        }
        std::string value = CleanHeaderValue(field.FieldBody().AsString().View());
        headers.FieldBodyByName(name).FromString(mimepp::String(std::move(value)));
    }
}

std::optional<std::string> PriorityOfImportance(int32_t importance) {
    switch (importance) {
        case 0:
            return "5";
        case 1:
            return "3";
        case 2:
            return "1";
        default:
            return std::nullopt;
    }
}

}  // namespace Tarvik::MAPI
