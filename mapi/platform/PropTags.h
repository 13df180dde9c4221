#pragma once
// Property tags the source side reads, with MAPI's names. Text tags come in the Unicode form (_W)
// and, where a caller asks for the 8-bit form, as _A. All texts reach callers as UTF-8 either way.

#include "mapi/platform/MapiDefs.h"

// Store.
constexpr uint32_t PR_DEFAULT_STORE = 0x3400000B;
constexpr uint32_t PR_STORE_SUPPORT_MASK = 0x340D0003;
constexpr uint32_t PR_MDB_PROVIDER = 0x34140102;
constexpr uint32_t PR_IPM_SUBTREE_ENTRYID = 0x35E00102;
constexpr uint32_t PR_IPM_OUTBOX_ENTRYID = 0x35E20102;
constexpr uint32_t PR_IPM_WASTEBASKET_ENTRYID = 0x35E30102;
constexpr uint32_t PR_IPM_SENTMAIL_ENTRYID = 0x35E40102;
constexpr uint32_t PR_FINDER_ENTRYID = 0x35E70102;
constexpr uint32_t PR_IPM_APPOINTMENT_ENTRYID = 0x36D00102;
constexpr uint32_t PR_IPM_CONTACT_ENTRYID = 0x36D10102;
constexpr uint32_t PR_IPM_JOURNAL_ENTRYID = 0x36D20102;
constexpr uint32_t PR_IPM_NOTE_ENTRYID = 0x36D30102;
constexpr uint32_t PR_IPM_TASK_ENTRYID = 0x36D40102;
constexpr uint32_t PR_IPM_DRAFTS_ENTRYID = 0x36D70102;
constexpr uint32_t PR_ADDITIONAL_REN_ENTRYIDS = 0x36D81102;

// Profiles and services.
constexpr uint32_t PR_DISPLAY_NAME_A = 0x3001001E;
constexpr uint32_t PR_DEFAULT_PROFILE = 0x3D04000B;
constexpr uint32_t PR_SERVICE_NAME_W = 0x3D09001F;
constexpr uint32_t PR_SERVICE_UID = 0x3D0C0102;
constexpr uint32_t PR_PROVIDER_DISPLAY_W = 0x3006001F;
constexpr uint32_t PR_PST_PATH = 0x6700001E;
constexpr uint32_t PR_PST_PATH_W = 0x6700001F;

// Every object.
constexpr uint32_t PR_ENTRYID = 0x0FFF0102;
constexpr uint32_t PR_OBJECT_TYPE = 0x0FFE0003;
constexpr uint32_t PR_RECORD_KEY = 0x0FF90102;
constexpr uint32_t PR_INSTANCE_KEY = 0x0FF60102;
constexpr uint32_t PR_DISPLAY_NAME_W = 0x3001001F;
constexpr uint32_t PR_CREATION_TIME = 0x30070040;
constexpr uint32_t PR_LAST_MODIFICATION_TIME = 0x30080040;
constexpr uint32_t PR_SEARCH_KEY = 0x300B0102;
constexpr uint32_t PR_ROWID = 0x30000003;

// Folders.
constexpr uint32_t PR_CONTAINER_CLASS_W = 0x3613001F;
constexpr uint32_t PR_CONTENT_COUNT = 0x36020003;
constexpr uint32_t PR_CONTENT_UNREAD = 0x36030003;
constexpr uint32_t PR_SUBFOLDERS = 0x360A000B;
constexpr uint32_t PR_FOLDER_TYPE = 0x36010003;
constexpr uint32_t PR_FOLDER_FLAGS = 0x66A80003;
constexpr uint32_t PR_PARENT_ENTRYID = 0x0E090102;

// Messages.
constexpr uint32_t PR_MESSAGE_CLASS_W = 0x001A001F;
constexpr uint32_t PR_MESSAGE_FLAGS = 0x0E070003;
constexpr uint32_t PR_CLIENT_SUBMIT_TIME = 0x00390040;
constexpr uint32_t PR_MESSAGE_DELIVERY_TIME = 0x0E060040;
constexpr uint32_t PR_SENDER_ADDRTYPE_W = 0x0C1E001F;
constexpr uint32_t PR_SENDER_EMAIL_ADDRESS_W = 0x0C1F001F;
constexpr uint32_t PR_SENDER_NAME_W = 0x0C1A001F;
constexpr uint32_t PR_SENDER_ENTRYID = 0x0C190102;
constexpr uint32_t PR_SUBJECT_W = 0x0037001F;
constexpr uint32_t PR_BODY_W = 0x1000001F;
constexpr uint32_t PR_HTML = 0x10130102;
constexpr uint32_t PR_RTF_COMPRESSED = 0x10090102;
constexpr uint32_t PR_RTF_IN_SYNC = 0x0E1F000B;
constexpr uint32_t PR_INTERNET_CPID = 0x3FDE0003;
constexpr uint32_t PR_MESSAGE_CODEPAGE = 0x3FFD0003;
constexpr uint32_t PR_LAST_VERB_EXECUTED = 0x10810003;
constexpr uint32_t PR_FLAG_STATUS = 0x10900003;
constexpr uint32_t PR_SENT_REPRESENTING_ADDRTYPE_W = 0x0064001F;
constexpr uint32_t PR_SENT_REPRESENTING_ENTRYID = 0x00410102;
constexpr uint32_t PR_SENT_REPRESENTING_EMAIL_ADDRESS_W = 0x0065001F;
constexpr uint32_t PR_SENT_REPRESENTING_NAME_W = 0x0042001F;
constexpr uint32_t PR_REPLY_RECIPIENT_NAMES_W = 0x0050001F;
constexpr uint32_t PR_REPLY_RECIPIENT_ENTRIES = 0x004F0102;
constexpr uint32_t PR_TRANSPORT_MESSAGE_HEADERS_A = 0x007D001E;
constexpr uint32_t PR_TRANSPORT_MESSAGE_HEADERS_W = 0x007D001F;
constexpr uint32_t PR_IMPORTANCE = 0x00170003;
constexpr uint32_t PR_SENSITIVITY = 0x00360003;
constexpr uint32_t PR_INTERNET_MESSAGE_ID_A = 0x1035001E;
constexpr uint32_t PR_INTERNET_MESSAGE_ID_W = 0x1035001F;
constexpr uint32_t PR_URL_NAME_W = 0x6707001F;
constexpr uint32_t PR_MESSAGE_SIZE = 0x0E080003;
constexpr uint32_t PR_HASATTACH = 0x0E1B000B;
constexpr uint32_t PR_DISPLAY_TO_W = 0x0E04001F;
constexpr uint32_t PR_DISPLAY_CC_W = 0x0E03001F;
constexpr uint32_t PR_DISPLAY_BCC_W = 0x0E02001F;
constexpr uint32_t PR_CONVERSATION_TOPIC_W = 0x0070001F;
constexpr uint32_t PR_IN_REPLY_TO_ID_W = 0x1042001F;
constexpr uint32_t PR_INTERNET_REFERENCES_W = 0x1039001F;

// Recipients.
constexpr uint32_t PR_ADDRTYPE_W = 0x3002001F;
constexpr uint32_t PR_EMAIL_ADDRESS_W = 0x3003001F;
constexpr uint32_t PR_RECIPIENT_TYPE = 0x0C150003;
constexpr uint32_t PR_SMTP_ADDRESS_W = 0x39FE001F;

// Attachments.
constexpr uint32_t PR_ATTACH_NUM = 0x0E210003;
constexpr uint32_t PR_ATTACH_SIZE = 0x0E200003;
constexpr uint32_t PR_ATTACH_DATA_BIN = 0x37010102;
constexpr uint32_t PR_ATTACH_DATA_OBJ = 0x3701000D;
constexpr uint32_t PR_ATTACH_EXTENSION_W = 0x3703001F;
constexpr uint32_t PR_ATTACH_FILENAME_W = 0x3704001F;
constexpr uint32_t PR_ATTACH_METHOD = 0x37050003;
constexpr uint32_t PR_ATTACH_LONG_FILENAME_W = 0x3707001F;
constexpr uint32_t PR_RENDERING_POSITION = 0x370B0003;
constexpr uint32_t PR_ATTACH_MIME_TAG_W = 0x370E001F;
constexpr uint32_t PR_ATTACH_CONTENT_ID_W = 0x3712001F;
constexpr uint32_t PR_ATTACH_CONTENT_LOCATION_W = 0x3713001F;
constexpr uint32_t PR_ATTACH_FLAGS = 0x37140003;
constexpr uint32_t PR_ATTACHMENT_HIDDEN = 0x7FFE000B;

// PR_ATTACH_METHOD values.
constexpr int32_t NO_ATTACHMENT = 0;
constexpr int32_t ATTACH_BY_VALUE = 1;
constexpr int32_t ATTACH_EMBEDDED_MSG = 5;
constexpr int32_t ATTACH_OLE = 6;
