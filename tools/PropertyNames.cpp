#include "tools/PropertyNames.h"

#include <map>

namespace pstgen {
namespace {

const std::map<std::string, uint32_t>& Tags() {
    static const std::map<std::string, uint32_t> tags = {
        {"PR_ACKNOWLEDGEMENT_MODE", 0x00010003},
        {"PR_ALTERNATE_RECIPIENT_ALLOWED", 0x0002000B},
        {"PR_AUTHORIZING_USERS", 0x00030102},
        {"PR_AUTO_FORWARDED", 0x0005000B},
        {"PR_DEFERRED_DELIVERY_TIME", 0x000F0040},
        {"PR_EXPIRY_TIME", 0x00150040},
        {"PR_IMPORTANCE", 0x00170003},
        {"PR_MESSAGE_CLASS", 0x001A001F},
        {"PR_ORIGINATOR_DELIVERY_REPORT_REQUESTED", 0x0023000B},
        {"PR_PRIORITY", 0x00260003},
        {"PR_READ_RECEIPT_REQUESTED", 0x0029000B},
        {"PR_ORIGINAL_SENSITIVITY", 0x002E0003},
        {"PR_SENSITIVITY", 0x00360003},
        {"PR_SUBJECT", 0x0037001F},
        {"PR_CLIENT_SUBMIT_TIME", 0x00390040},
        {"PR_SENT_REPRESENTING_SEARCH_KEY", 0x003B0102},
        {"PR_RECEIVED_BY_ENTRYID", 0x003F0102},
        {"PR_RECEIVED_BY_NAME", 0x0040001F},
        {"PR_SENT_REPRESENTING_ENTRYID", 0x00410102},
        {"PR_SENT_REPRESENTING_NAME", 0x0042001F},
        {"PR_RCVD_REPRESENTING_ENTRYID", 0x00430102},
        {"PR_RCVD_REPRESENTING_NAME", 0x0044001F},
        {"PR_REPLY_RECIPIENT_ENTRIES", 0x004F0102},
        {"PR_REPLY_RECIPIENT_NAMES", 0x0050001F},
        {"PR_RECEIVED_BY_SEARCH_KEY", 0x00510102},
        {"PR_MESSAGE_TO_ME", 0x0057000B},
        {"PR_MESSAGE_CC_ME", 0x0058000B},
        {"PR_MESSAGE_RECIP_ME", 0x0059000B},
        {"PR_START_DATE", 0x00600040},
        {"PR_END_DATE", 0x00610040},
        {"PR_OWNER_APPT_ID", 0x00620003},
        {"PR_RESPONSE_REQUESTED", 0x0063000B},
        {"PR_SENT_REPRESENTING_ADDRTYPE", 0x0064001F},
        {"PR_SENT_REPRESENTING_EMAIL_ADDRESS", 0x0065001F},
        {"PR_CONVERSATION_TOPIC", 0x0070001F},
        {"PR_CONVERSATION_INDEX", 0x00710102},
        {"PR_RECEIVED_BY_ADDRTYPE", 0x0075001F},
        {"PR_RECEIVED_BY_EMAIL_ADDRESS", 0x0076001F},
        {"PR_TRANSPORT_MESSAGE_HEADERS", 0x007D001F},
        {"PR_SENDER_ENTRYID", 0x0C190102},
        {"PR_SENDER_NAME", 0x0C1A001F},
        {"PR_SENDER_SEARCH_KEY", 0x0C1D0102},
        {"PR_SENDER_ADDRTYPE", 0x0C1E001F},
        {"PR_SENDER_EMAIL_ADDRESS", 0x0C1F001F},
        {"PR_RECIPIENT_TYPE", 0x0C150003},
        {"PR_DELETE_AFTER_SUBMIT", 0x0E01000B},
        {"PR_DISPLAY_BCC", 0x0E02001F},
        {"PR_DISPLAY_CC", 0x0E03001F},
        {"PR_DISPLAY_TO", 0x0E04001F},
        {"PR_MESSAGE_DELIVERY_TIME", 0x0E060040},
        {"PR_MESSAGE_FLAGS", 0x0E070003},
        {"PR_MESSAGE_SIZE", 0x0E080003},
        {"PR_RESPONSIBILITY", 0x0E0F000B},
        {"PR_MSG_STATUS", 0x0E170003},
        {"PR_HASATTACH", 0x0E1B000B},
        {"PR_RTF_IN_SYNC", 0x0E1F000B},
        {"PR_ATTACH_SIZE", 0x0E200003},
        {"PR_ATTACH_NUM", 0x0E210003},
        {"PR_INTERNET_ARTICLE_NUMBER", 0x0E230003},
        {"PR_ROWID", 0x30000003},
        {"PR_OBJECT_TYPE", 0x0FFE0003},
        {"PR_ENTRYID", 0x0FFF0102},
        {"PR_RECORD_KEY", 0x0FF90102},
        {"PR_BODY", 0x1000001F},
        {"PR_RTF_SYNC_BODY_CRC", 0x10060003},
        {"PR_RTF_SYNC_BODY_COUNT", 0x10070003},
        {"PR_RTF_SYNC_BODY_TAG", 0x1008001F},
        {"PR_RTF_COMPRESSED", 0x10090102},
        {"PR_RTF_SYNC_PREFIX_COUNT", 0x10100003},
        {"PR_RTF_SYNC_TRAILING_COUNT", 0x10110003},
        {"PR_HTML", 0x10130102},
        {"PR_BODY_HTML", 0x1013001F},
        {"PR_INTERNET_MESSAGE_ID", 0x1035001F},
        {"PR_IN_REPLY_TO_ID", 0x1042001F},
        {"PR_INTERNET_REFERENCES", 0x1039001F},
        {"PR_LAST_VERB_EXECUTED", 0x10810003},
        {"PR_LAST_VERB_EXECUTION_TIME", 0x10820040},
        {"PR_FLAG_STATUS", 0x10900003},
        {"PR_FLAG_COMPLETE_TIME", 0x10910040},
        {"PR_ICON_INDEX", 0x10800003},
        {"PR_DISPLAY_NAME", 0x3001001F},
        {"PR_ADDRTYPE", 0x3002001F},
        {"PR_EMAIL_ADDRESS", 0x3003001F},
        {"PR_COMMENT", 0x3004001F},
        {"PR_CREATION_TIME", 0x30070040},
        {"PR_LAST_MODIFICATION_TIME", 0x30080040},
        {"PR_SEARCH_KEY", 0x300B0102},
        {"PR_STORE_SUPPORT_MASK", 0x340D0003},
        {"PR_IPM_SUBTREE_ENTRYID", 0x35E00102},
        {"PR_IPM_OUTBOX_ENTRYID", 0x35E20102},
        {"PR_IPM_WASTEBASKET_ENTRYID", 0x35E30102},
        {"PR_IPM_SENTMAIL_ENTRYID", 0x35E40102},
        {"PR_FINDER_ENTRYID", 0x35E70102},
        {"PR_CONTENT_COUNT", 0x36020003},
        {"PR_CONTENT_UNREAD", 0x36030003},
        {"PR_SUBFOLDERS", 0x360A000B},
        {"PR_CONTAINER_CLASS", 0x3613001F},
        {"PR_IPM_APPOINTMENT_ENTRYID", 0x36D00102},
        {"PR_IPM_CONTACT_ENTRYID", 0x36D10102},
        {"PR_IPM_JOURNAL_ENTRYID", 0x36D20102},
        {"PR_IPM_NOTE_ENTRYID", 0x36D30102},
        {"PR_IPM_TASK_ENTRYID", 0x36D40102},
        {"PR_IPM_DRAFTS_ENTRYID", 0x36D70102},
        {"PR_ADDITIONAL_REN_ENTRYIDS", 0x36D81102},
        {"PR_ATTACH_DATA_BIN", 0x37010102},
        {"PR_ATTACH_DATA_OBJ", 0x3701000D},
        {"PR_ATTACH_ENCODING", 0x37020102},
        {"PR_ATTACH_EXTENSION", 0x3703001F},
        {"PR_ATTACH_FILENAME", 0x3704001F},
        {"PR_ATTACH_METHOD", 0x37050003},
        {"PR_ATTACH_LONG_FILENAME", 0x3707001F},
        {"PR_ATTACH_PATHNAME", 0x3708001F},
        {"PR_ATTACH_RENDERING", 0x37090102},
        {"PR_RENDERING_POSITION", 0x370B0003},
        {"PR_ATTACH_MIME_TAG", 0x370E001F},
        {"PR_ATTACH_LONG_PATHNAME", 0x370D001F},
        {"PR_ATTACH_CONTENT_ID", 0x3712001F},
        {"PR_ATTACH_CONTENT_LOCATION", 0x3713001F},
        {"PR_ATTACH_FLAGS", 0x37140003},
        {"PR_ATTACHMENT_HIDDEN", 0x7FFE000B},
        {"PR_ATTACHMENT_FLAGS", 0x7FFD0003},
        {"PR_DISPLAY_TYPE", 0x39000003},
        {"PR_7BIT_DISPLAY_NAME", 0x39FF001F},
        {"PR_SEND_RICH_INFO", 0x3A40000B},
        {"PR_SMTP_ADDRESS", 0x39FE001F},
        {"PR_ACCOUNT", 0x3A00001F},
        {"PR_GENERATION", 0x3A05001F},
        {"PR_GIVEN_NAME", 0x3A06001F},
        {"PR_BUSINESS_TELEPHONE_NUMBER", 0x3A08001F},
        {"PR_HOME_TELEPHONE_NUMBER", 0x3A09001F},
        {"PR_INITIALS", 0x3A0A001F},
        {"PR_SURNAME", 0x3A11001F},
        {"PR_COMPANY_NAME", 0x3A16001F},
        {"PR_TITLE", 0x3A17001F},
        {"PR_DEPARTMENT_NAME", 0x3A18001F},
        {"PR_MOBILE_TELEPHONE_NUMBER", 0x3A1C001F},
        {"PR_BUSINESS_FAX_NUMBER", 0x3A24001F},
        {"PR_COUNTRY", 0x3A26001F},
        {"PR_LOCALITY", 0x3A27001F},
        {"PR_STATE_OR_PROVINCE", 0x3A28001F},
        {"PR_STREET_ADDRESS", 0x3A29001F},
        {"PR_POSTAL_CODE", 0x3A2A001F},
        {"PR_BIRTHDAY", 0x3A420040},
        {"PR_MIDDLE_NAME", 0x3A44001F},
        {"PR_DISPLAY_NAME_PREFIX", 0x3A45001F},
        {"PR_NICKNAME", 0x3A4F001F},
        {"PR_BUSINESS_HOME_PAGE", 0x3A51001F},
        {"PR_HOME_ADDRESS_CITY", 0x3A59001F},
        {"PR_HOME_ADDRESS_COUNTRY", 0x3A5A001F},
        {"PR_HOME_ADDRESS_POSTAL_CODE", 0x3A5B001F},
        {"PR_HOME_ADDRESS_STATE_OR_PROVINCE", 0x3A5C001F},
        {"PR_HOME_ADDRESS_STREET", 0x3A5D001F},
        {"PR_INTERNET_CPID", 0x3FDE0003},
        {"PR_MESSAGE_CODEPAGE", 0x3FFD0003},
        {"PR_MESSAGE_LOCALE_ID", 0x3FF10003},
        {"PR_CREATOR_NAME", 0x3FF8001F},
        {"PR_LAST_MODIFIER_NAME", 0x3FFA001F},
        {"PR_SENDER_SMTP_ADDRESS", 0x5D01001F},
        {"PR_SENT_REPRESENTING_SMTP_ADDRESS", 0x5D02001F},
        {"PR_URL_NAME", 0x6707001F},
        {"PR_PST_PASSWORD", 0x67FF0003},
        {"PR_NATIVE_BODY_INFO", 0x10160003},
        {"PR_INTERNET_CODEPAGE", 0x3FDE0003},
    };
    return tags;
}

const std::map<std::string, uint16_t>& Types() {
    static const std::map<std::string, uint16_t> types = {
        {"PT_SHORT", 0x0002},    {"PT_I2", 0x0002},      {"PT_LONG", 0x0003},     {"PT_I4", 0x0003},
        {"PT_FLOAT", 0x0004},    {"PT_DOUBLE", 0x0005},  {"PT_CURRENCY", 0x0006}, {"PT_APPTIME", 0x0007},
        {"PT_ERROR", 0x000A},    {"PT_BOOLEAN", 0x000B}, {"PT_OBJECT", 0x000D},   {"PT_I8", 0x0014},
        {"PT_LONGLONG", 0x0014}, {"PT_STRING8", 0x001E}, {"PT_UNICODE", 0x001F},  {"PT_SYSTIME", 0x0040},
        {"PT_CLSID", 0x0048},    {"PT_BINARY", 0x0102},
    };
    return types;
}

}  // namespace

std::optional<uint32_t> TagByName(const std::string& name) {
    auto it = Tags().find(name);
    if (it != Tags().end()) {
        return it->second;
    }
    // The "_W" and "_A" spellings name the Unicode and 8-bit variants.
    for (const auto& [suffix, type] : {std::pair<std::string, uint16_t>{"_W", 0x001F}, {"_A", 0x001E}}) {
        if (name.size() > 2 && name.compare(name.size() - 2, 2, suffix) == 0) {
            auto base = Tags().find(name.substr(0, name.size() - 2));
            if (base != Tags().end() &&
                ((base->second & 0xFFFF) == 0x001F || (base->second & 0xFFFF) == 0x001E)) {
                return (base->second & 0xFFFF0000) | type;
            }
        }
    }
    return std::nullopt;
}

std::string NameOfTag(uint32_t tag) {
    for (const auto& [name, t] : Tags()) {
        if (t == tag) {
            return name;
        }
    }
    return {};
}

std::optional<uint16_t> TypeByName(const std::string& name) {
    std::string base = name;
    uint16_t multi = 0;
    if (base.rfind("PT_MV_", 0) == 0) {
        base = "PT_" + base.substr(6);
        multi = 0x1000;
    }
    auto it = Types().find(base);
    if (it == Types().end()) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(it->second | multi);
}

pst::Guid PropertySet(const std::string& nameOrGuid) {
    static const std::map<std::string, std::string> sets = {
        {"PS_MAPI", "{00020328-0000-0000-C000-000000000046}"},
        {"PS_PUBLIC_STRINGS", "{00020329-0000-0000-C000-000000000046}"},
        {"PS_INTERNET_HEADERS", "{00020386-0000-0000-C000-000000000046}"},
        {"PSETID_Appointment", "{00062002-0000-0000-C000-000000000046}"},
        {"PSETID_Task", "{00062003-0000-0000-C000-000000000046}"},
        {"PSETID_Address", "{00062004-0000-0000-C000-000000000046}"},
        {"PSETID_Common", "{00062008-0000-0000-C000-000000000046}"},
        {"PSETID_Log", "{0006200A-0000-0000-C000-000000000046}"},
        {"PSETID_Note", "{0006200E-0000-0000-C000-000000000046}"},
        {"PSETID_Sharing", "{00062040-0000-0000-C000-000000000046}"},
        {"PSETID_Meeting", "{6ED8DA90-450B-101B-98DA-00AA003F1305}"},
        {"PSETID_UnifiedMessaging", "{4442858E-A9E3-4E80-B900-317A210CC15B}"},
    };
    auto it = sets.find(nameOrGuid);
    return pst::Guid::Parse(it != sets.end() ? it->second : nameOrGuid);
}

}  // namespace pstgen
