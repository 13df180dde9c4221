#pragma once
// The MAPI vocabulary the source side is written in: result codes, property types and tag helpers,
// object types and the flags callers pass. Names and numbers are MAPI's own, so that code reads as
// MAPI code and logged numbers mean what they mean in MAPI's documentation.

#include <cstdint>

using HRESULT = int32_t;

constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr HRESULT MakeHResult(uint32_t code) {
    return static_cast<HRESULT>(code);
}

// Result codes.
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = MakeHResult(0x80004005);
constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002);
constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000E);
constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057);
constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005);
constexpr HRESULT MAPI_E_CALL_FAILED = E_FAIL;
constexpr HRESULT MAPI_E_NOT_ENOUGH_MEMORY = E_OUTOFMEMORY;  // also: a value too large for GetProps
constexpr HRESULT MAPI_E_INVALID_PARAMETER = E_INVALIDARG;
constexpr HRESULT MAPI_E_INTERFACE_NOT_SUPPORTED = E_NOINTERFACE;
constexpr HRESULT MAPI_E_NO_ACCESS = E_ACCESSDENIED;
constexpr HRESULT MAPI_E_NO_SUPPORT = MakeHResult(0x80040102);
constexpr HRESULT MAPI_E_UNKNOWN_FLAGS = MakeHResult(0x80040106);
constexpr HRESULT MAPI_E_INVALID_ENTRYID = MakeHResult(0x80040107);
constexpr HRESULT MAPI_E_INVALID_OBJECT = MakeHResult(0x80040108);
constexpr HRESULT MAPI_E_TABLE_TOO_BIG = MakeHResult(0x80040403);
constexpr HRESULT MAPI_E_NOT_FOUND = MakeHResult(0x8004010F);
constexpr HRESULT MAPI_E_LOGON_FAILED = MakeHResult(0x80040111);
constexpr HRESULT MAPI_E_CORRUPT_STORE = MakeHResult(0x80040600);
constexpr HRESULT MAPI_E_TOO_COMPLEX = MakeHResult(0x80040117);
constexpr HRESULT MAPI_E_CORRUPT_DATA = MakeHResult(0x8004011B);
constexpr HRESULT MAPI_E_UNCONFIGURED = MakeHResult(0x8004011C);
constexpr HRESULT MAPI_E_NOT_INITIALIZED = MakeHResult(0x80040605);
constexpr HRESULT MAPI_E_COLLISION = MakeHResult(0x80040604);
constexpr HRESULT MAPI_E_BAD_CHARWIDTH = MakeHResult(0x80040103);
constexpr HRESULT MAPI_W_ERRORS_RETURNED = MakeHResult(0x00040380);
constexpr HRESULT MAPI_W_POSITION_CHANGED = MakeHResult(0x00040481);

// Property types.
constexpr uint16_t PT_UNSPECIFIED = 0x0000;
constexpr uint16_t PT_NULL = 0x0001;
constexpr uint16_t PT_I2 = 0x0002;
constexpr uint16_t PT_SHORT = PT_I2;
constexpr uint16_t PT_LONG = 0x0003;
constexpr uint16_t PT_R4 = 0x0004;
constexpr uint16_t PT_DOUBLE = 0x0005;
constexpr uint16_t PT_CURRENCY = 0x0006;
constexpr uint16_t PT_APPTIME = 0x0007;
constexpr uint16_t PT_ERROR = 0x000A;
constexpr uint16_t PT_BOOLEAN = 0x000B;
constexpr uint16_t PT_OBJECT = 0x000D;
constexpr uint16_t PT_I8 = 0x0014;
constexpr uint16_t PT_LONGLONG = PT_I8;
constexpr uint16_t PT_STRING8 = 0x001E;
constexpr uint16_t PT_UNICODE = 0x001F;
constexpr uint16_t PT_SYSTIME = 0x0040;
constexpr uint16_t PT_CLSID = 0x0048;
constexpr uint16_t PT_SVREID = 0x00FB;
constexpr uint16_t PT_SRESTRICTION = 0x00FD;
constexpr uint16_t PT_ACTIONS = 0x00FE;
constexpr uint16_t PT_BINARY = 0x0102;
constexpr uint16_t MV_FLAG = 0x1000;
constexpr uint16_t PT_MV_I2 = MV_FLAG | PT_I2;
constexpr uint16_t PT_MV_LONG = MV_FLAG | PT_LONG;
constexpr uint16_t PT_MV_R4 = MV_FLAG | PT_R4;
constexpr uint16_t PT_MV_DOUBLE = MV_FLAG | PT_DOUBLE;
constexpr uint16_t PT_MV_CURRENCY = MV_FLAG | PT_CURRENCY;
constexpr uint16_t PT_MV_APPTIME = MV_FLAG | PT_APPTIME;
constexpr uint16_t PT_MV_I8 = MV_FLAG | PT_I8;
constexpr uint16_t PT_MV_STRING8 = MV_FLAG | PT_STRING8;
constexpr uint16_t PT_MV_UNICODE = MV_FLAG | PT_UNICODE;
constexpr uint16_t PT_MV_SYSTIME = MV_FLAG | PT_SYSTIME;
constexpr uint16_t PT_MV_CLSID = MV_FLAG | PT_CLSID;
constexpr uint16_t PT_MV_BINARY = MV_FLAG | PT_BINARY;

constexpr uint16_t PROP_TYPE(uint32_t tag) {
    return static_cast<uint16_t>(tag & 0xFFFF);
}
constexpr uint16_t PROP_ID(uint32_t tag) {
    return static_cast<uint16_t>(tag >> 16);
}
constexpr uint32_t PROP_TAG(uint16_t type, uint16_t id) {
    return (static_cast<uint32_t>(id) << 16) | type;
}
constexpr uint32_t CHANGE_PROP_TYPE(uint32_t tag, uint16_t type) {
    return (tag & 0xFFFF0000u) | type;
}
// A tag no object carries: reading it yields nothing (what failed named-property lookups become).
constexpr uint32_t PR_NULL = PROP_TAG(PT_NULL, 0);

// Object types (OpenEntry's object type).
constexpr uint32_t MAPI_STORE = 1;
constexpr uint32_t MAPI_FOLDER = 3;
constexpr uint32_t MAPI_MESSAGE = 5;
constexpr uint32_t MAPI_ATTACH = 7;

// Flags.
constexpr uint32_t MAPI_MODIFY = 0x00000001;
constexpr uint32_t MAPI_CREATE = 0x00000002;
constexpr uint32_t MAPI_DEFERRED_ERRORS = 0x00000008;
constexpr uint32_t MAPI_BEST_ACCESS = 0x00000010;
constexpr uint32_t MAPI_UNICODE = 0x80000000;
constexpr uint32_t MAPI_MULTITHREAD_NOTIFICATIONS = 0x00000001;
constexpr uint32_t MAPI_NEW_SESSION = 0x00000002;
constexpr uint32_t MAPI_EXPLICIT_PROFILE = 0x00000010;
constexpr uint32_t MAPI_EXTENDED = 0x00000020;
constexpr uint32_t MAPI_NO_MAIL = 0x00008000;
constexpr uint32_t MDB_NO_DIALOG = 0x00000001;
constexpr uint32_t MDB_TEMPORARY = 0x00000020;
constexpr uint32_t MDB_NO_MAIL = 0x00000080;
constexpr uint32_t MDB_ONLINE = 0x00000100;
constexpr uint32_t SERVICE_UI_ALLOWED = 0x00000010;
constexpr uint32_t MDB_FOLDER_NORMAL = 0x00000004;  // bit of PR_FOLDER_FLAGS: not a search folder
constexpr uint32_t STATFLAG_NONAME = 1;

// Table positions and sort orders.
constexpr uint32_t BOOKMARK_BEGINNING = 0;
constexpr uint32_t BOOKMARK_CURRENT = 1;
constexpr uint32_t BOOKMARK_END = 2;
constexpr uint32_t TABLE_SORT_ASCEND = 0;
constexpr uint32_t TABLE_SORT_DESCEND = 1;

// Restriction kinds, operators and fuzzy levels.
constexpr uint32_t RES_AND = 0;
constexpr uint32_t RES_OR = 1;
constexpr uint32_t RES_NOT = 2;
constexpr uint32_t RES_CONTENT = 3;
constexpr uint32_t RES_PROPERTY = 4;
constexpr uint32_t RES_BITMASK = 6;
constexpr uint32_t RES_EXIST = 8;
constexpr uint32_t RELOP_LT = 0;
constexpr uint32_t RELOP_LE = 1;
constexpr uint32_t RELOP_GT = 2;
constexpr uint32_t RELOP_GE = 3;
constexpr uint32_t RELOP_EQ = 4;
constexpr uint32_t RELOP_NE = 5;
constexpr uint32_t BMR_EQZ = 0;
constexpr uint32_t BMR_NEZ = 1;
constexpr uint32_t FL_FULLSTRING = 0x00000;
constexpr uint32_t FL_SUBSTRING = 0x00001;
constexpr uint32_t FL_PREFIX = 0x00002;
constexpr uint32_t FL_IGNORECASE = 0x10000;

// Kinds of named-property names.
constexpr uint32_t MNID_ID = 0;
constexpr uint32_t MNID_STRING = 1;

// Stream seek origins.
constexpr uint32_t STREAM_SEEK_SET = 0;
constexpr uint32_t STREAM_SEEK_CUR = 1;
constexpr uint32_t STREAM_SEEK_END = 2;
