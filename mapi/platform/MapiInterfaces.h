#pragma once
// MAPI's interfaces as the source side uses them, read-only: nothing here can change a PST file.
// Objects are owned by the std::unique_ptr a call fills (no Release). Every object keeps the store
// it came from open, so objects may be released in any order. One thread at a time may use a
// session and everything opened through it.
//
// Calls return an HRESULT as MAPI does: S_OK, a warning (MAPI_W_ERRORS_RETURNED when some of the
// properties asked for came back as PT_ERROR values) or an error (MAPI_E_NOT_FOUND, ...). Damaged
// parts of a PST file give MAPI_E_CORRUPT_DATA for that object, value or row and are logged with
// the file, the node and what is wrong.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mapi/platform/PropValue.h"

struct STATSTG {
    uint64_t cbSize = 0;
};

// A read-only stream over a property value (OpenProperty) or attachment data.
class IStream {
  public:
    virtual ~IStream() = default;
    // Reads up to `size` bytes; `read` receives the count (0 at the end).
    virtual HRESULT Read(void* buffer, uint32_t size, uint32_t* read) = 0;
    virtual HRESULT Seek(int64_t move, uint32_t origin, uint64_t* newPosition) = 0;
    virtual HRESULT Stat(STATSTG& stat, uint32_t flags) = 0;
};

class IMAPIProp {
  public:
    virtual ~IMAPIProp() = default;

    // One value per tag, in order. A tag of type PT_UNSPECIFIED takes the stored type. Texts come
    // as UTF-8 whether PT_UNICODE or PT_STRING8 is asked for. A missing property, or a value of
    // another type, comes back as PT_ERROR MAPI_E_NOT_FOUND; a string or binary value larger than
    // kGetPropsLimit as PT_ERROR MAPI_E_NOT_ENOUGH_MEMORY (read it with OpenProperty).
    // MAPI_W_ERRORS_RETURNED when any value is an error.
    virtual HRESULT GetProps(const SPropTagArray& tags, uint32_t flags, std::vector<SPropValue>& values) = 0;
    // Every property the object has (MAPI's computed ones included).
    virtual HRESULT GetPropList(uint32_t flags, SPropTagArray& tags) = 0;
    // A stream over a string or binary value: the stored bytes, UTF-16LE without terminator for
    // PT_UNICODE. MAPI_E_NOT_FOUND when the object has no such value.
    virtual HRESULT OpenProperty(uint32_t tag, uint32_t flags, std::unique_ptr<IStream>& stream) = 0;
    // Property tags (type PT_UNSPECIFIED) for the names, from the store's name-to-id map. A name the
    // map does not hold gives a PT_ERROR tag and MAPI_W_ERRORS_RETURNED; MAPI_CREATE creates
    // nothing, since the layer never writes.
    virtual HRESULT GetIDsFromNames(const std::vector<MAPINAMEID>& names, uint32_t flags,
                                    SPropTagArray& tags) = 0;
    // The names of named-property tags (ids 0x8000 and up); nothing for ids without a name.
    virtual HRESULT GetNamesFromIDs(const SPropTagArray& tags,
                                    std::vector<std::optional<MAPINAMEID>>& names) = 0;

    // Values above this size are not handed out by GetProps.
    static constexpr uint64_t kGetPropsLimit = 32 * 1024;
};

class IMAPITable {
  public:
    virtual ~IMAPITable() = default;
    virtual HRESULT SetColumns(const SPropTagArray& columns, uint32_t flags) = 0;
    // Narrows the table to the rows that satisfy `restriction` (nullptr: all rows).
    virtual HRESULT Restrict(const SRestriction* restriction, uint32_t flags) = 0;
    virtual HRESULT SortTable(const SSortOrderSet& sortOrder, uint32_t flags) = 0;
    virtual HRESULT GetRowCount(uint32_t flags, uint32_t& count) = 0;
    virtual HRESULT SeekRow(uint32_t bookmark, int32_t rowCount, int32_t* rowsSought) = 0;
    // Up to `rowCount` rows from the current position, which moves past them; an empty set at the
    // end. A row that cannot be read is left out (the set is then shorter than asked for).
    virtual HRESULT QueryRows(int32_t rowCount, uint32_t flags, SRowSet& rows) = 0;
};

class IMAPIContainer : public IMAPIProp {
  public:
    virtual HRESULT GetContentsTable(uint32_t flags, std::unique_ptr<IMAPITable>& table) = 0;
    virtual HRESULT GetHierarchyTable(uint32_t flags, std::unique_ptr<IMAPITable>& table) = 0;
    // Opens a folder or message of the same store by entry id.
    virtual HRESULT OpenEntry(const EntryId& entryId, uint32_t flags, uint32_t& objectType,
                              std::unique_ptr<IMAPIProp>& object) = 0;
};

class IMAPIFolder : public IMAPIContainer {};

class IAttach;

class IMessage : public IMAPIProp {
  public:
    // Recipient rows (PR_ROWID, PR_RECIPIENT_TYPE, PR_DISPLAY_NAME_W, ...).
    virtual HRESULT GetRecipientTable(uint32_t flags, std::unique_ptr<IMAPITable>& table) = 0;
    // Attachment rows, each with PR_ATTACH_NUM for OpenAttach.
    virtual HRESULT GetAttachmentTable(uint32_t flags, std::unique_ptr<IMAPITable>& table) = 0;
    virtual HRESULT OpenAttach(uint32_t attachNum, uint32_t flags, std::unique_ptr<IAttach>& attach) = 0;
};

class IAttach : public IMAPIProp {
  public:
    // The message inside an attachment with PR_ATTACH_METHOD ATTACH_EMBEDDED_MSG (MAPI:
    // OpenProperty(PR_ATTACH_DATA_OBJ, IID_IMessage)); MAPI_E_NOT_FOUND for other attachments.
    virtual HRESULT OpenEmbeddedMessage(uint32_t flags, std::unique_ptr<IMessage>& message) = 0;
};

class IMsgStore : public IMAPIProp {
  public:
    virtual HRESULT OpenEntry(const EntryId& entryId, uint32_t flags, uint32_t& objectType,
                              std::unique_ptr<IMAPIProp>& object) = 0;
    // The folder receiving messages of `messageClass` ("" for the default), and the class that
    // matched. MAPI_E_NOT_FOUND when the store has no receive folder for it.
    virtual HRESULT GetReceiveFolder(const std::string& messageClass, uint32_t flags, EntryId& entryId,
                                     std::string& explicitClass) = 0;
    virtual HRESULT CompareEntryIDs(const EntryId& a, const EntryId& b, uint32_t flags, bool& equal) = 0;
};

class IMAPISession {
  public:
    virtual ~IMAPISession() = default;
    // Rows: PR_ENTRYID, PR_DISPLAY_NAME_W, PR_DEFAULT_STORE, PR_MDB_PROVIDER, PR_PST_PATH_W.
    virtual HRESULT GetMsgStoresTable(uint32_t flags, std::unique_ptr<IMAPITable>& table) = 0;
    // Opens the PST file of a store entry id of this session. MAPI_E_NOT_FOUND when the file is
    // missing or unreadable, MAPI_E_CORRUPT_STORE when it is not a readable PST, MAPI_E_UNKNOWN_FLAGS
    // for flags it does not know; the reason is logged with the file name.
    virtual HRESULT OpenMsgStore(const EntryId& storeEntryId, uint32_t flags,
                                 std::unique_ptr<IMsgStore>& store) = 0;
    // Opens a folder or message of any store opened through this session.
    virtual HRESULT OpenEntry(const EntryId& entryId, uint32_t flags, uint32_t& objectType,
                              std::unique_ptr<IMAPIProp>& object) = 0;
    // Same object: same store (provider uid) and node, whatever the flag bytes.
    virtual HRESULT CompareEntryIDs(const EntryId& a, const EntryId& b, uint32_t flags, bool& equal) = 0;
};

class IMsgServiceAdmin {
  public:
    virtual ~IMsgServiceAdmin() = default;
    // Known services: "MSUPST MS" (and "MSPST MS"), PST message stores.
    virtual HRESULT CreateMsgService(const std::string& service, const std::string& displayName,
                                     uint64_t uiParam, uint32_t flags) = 0;
    // Rows: PR_SERVICE_UID, PR_DISPLAY_NAME_W, PR_SERVICE_NAME_W.
    virtual HRESULT GetMsgServiceTable(uint32_t flags, std::unique_ptr<IMAPITable>& table) = 0;
    // Takes PR_PST_PATH (or PR_PST_PATH_W) for a PST service.
    virtual HRESULT ConfigureMsgService(const std::string& serviceUid, uint64_t uiParam, uint32_t flags,
                                        const std::vector<SPropValue>& properties) = 0;
};

// Profiles are kept in the settings store (runtime/SettingsStore.h) under kProfilesKey, one key
// per profile and a key per message service below it.
class IProfAdmin {
  public:
    virtual ~IProfAdmin() = default;
    // MAPI_E_NO_ACCESS when a profile of that name exists.
    virtual HRESULT CreateProfile(const std::string& name, const std::string& password, uint64_t uiParam,
                                  uint32_t flags) = 0;
    // MAPI_E_NOT_FOUND when there is no such profile.
    virtual HRESULT DeleteProfile(const std::string& name, uint32_t flags) = 0;
    // Rows: PR_DISPLAY_NAME_A (also as _W), PR_DEFAULT_PROFILE.
    virtual HRESULT GetProfileTable(uint32_t flags, std::unique_ptr<IMAPITable>& table) = 0;
    virtual HRESULT AdminServices(const std::string& name, const std::string& password, uint64_t uiParam,
                                  uint32_t flags, std::unique_ptr<IMsgServiceAdmin>& admin) = 0;
};

inline constexpr const char* kProfilesKey =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";

// Per-thread initialisation, counted as MAPI counts it; every other call needs it.
HRESULT MAPIInitialize(uint32_t flags);
void MAPIUninitialize();

// MAPI_E_NOT_INITIALIZED before MAPIInitialize; MAPI_E_LOGON_FAILED for an unknown profile.
HRESULT MAPILogonEx(uint64_t uiParam, const std::string& profileName, const std::string& password,
                    uint32_t flags, std::unique_ptr<IMAPISession>& session);
HRESULT MAPIAdminProfiles(uint32_t flags, std::unique_ptr<IProfAdmin>& admin);

// One property; MAPI_E_NOT_FOUND (or the value's error) when it is missing.
HRESULT HrGetOneProp(IMAPIProp& object, uint32_t tag, SPropValue& value);
// Every row of a table with these columns, restriction and sort (each may be null). maxRows 0
// means no limit; a table with more rows than maxRows gives MAPI_E_TABLE_TOO_BIG.
HRESULT HrQueryAllRows(IMAPITable& table, const SPropTagArray* columns, const SRestriction* restriction,
                       const SSortOrderSet* sortOrder, int32_t maxRows, SRowSet& rows);

// The object behind an OpenEntry result, when it is of that interface.
template <typename Interface>
std::unique_ptr<Interface> As(std::unique_ptr<IMAPIProp> object) {
    if (auto* typed = dynamic_cast<Interface*>(object.get())) {
        object.release();
        return std::unique_ptr<Interface>(typed);
    }
    return nullptr;
}
