// MAPI initialisation, logon and the session over the PST stores of a profile; HrGetOneProp and
// HrQueryAllRows.

#include <algorithm>

#include "mapi/platform/MapiInterfaces.h"
#include "mapi/platform/ProfileStore.h"
#include "mapi/platform/PropTags.h"
#include "mapi/platform/PstObjects.h"
#include "mapi/platform/Table.h"
#include "runtime/Log.h"

namespace mapipst {

namespace {

thread_local int initialiseCount = 0;

// The store entry id MAPI wraps around a PST provider's: flags, MUIDSTOREWRAP, version and flag
// bytes, the provider library's name, then (our own) the service uid and the file's path.
const std::string kStoreWrapUid("\x38\xA1\xBB\x10\x05\x43\x10\x1A\xA5\xB6\x00\xAA\x00\x38\xD2\xB8", 16);
const std::string kPstProviderUid("\x4E\x49\x54\x41\xF9\xBF\xB8\x01\x00\xAA\x00\x37\xD9\x6E\x00\x00", 16);

EntryId StoreEntryId(const ProfileService& service) {
    return std::string(4, '\0') + kStoreWrapUid + std::string(2, '\0') + std::string("mspst.dll", 10) +
           service.uid + service.pstPath + std::string(1, '\0');
}

bool SameStoreEntryId(const EntryId& a, const EntryId& b) {
    return a.size() > 4 && a.size() == b.size() &&
           a.compare(4, std::string::npos, b, 4, std::string::npos) == 0;
}

constexpr uint32_t kKnownStoreFlags =
    MDB_NO_DIALOG | MAPI_BEST_ACCESS | MDB_TEMPORARY | MDB_NO_MAIL | MDB_ONLINE | MAPI_DEFERRED_ERRORS;

class Session : public IMAPISession {
  public:
    explicit Session(std::vector<ProfileService> services) : services_(std::move(services)) {}

    HRESULT GetMsgStoresTable(uint32_t, std::unique_ptr<IMAPITable>& table) override {
        SRowSet rows;
        bool first = true;
        for (const auto& service : services_) {
            rows.push_back(SRow{{SPropValue::Binary(PR_ENTRYID, StoreEntryId(service)),
                                 SPropValue::Text(PR_DISPLAY_NAME_W, service.displayName),
                                 SPropValue::Bool(PR_DEFAULT_STORE, first),
                                 SPropValue::Binary(PR_MDB_PROVIDER, kPstProviderUid),
                                 SPropValue::Text(PR_PST_PATH_W, service.pstPath)}});
            first = false;
        }
        table = std::make_unique<Table>(std::make_unique<MemoryRows>(std::move(rows), "message stores"));
        return S_OK;
    }

    HRESULT OpenMsgStore(const EntryId& storeEntryId, uint32_t flags,
                         std::unique_ptr<IMsgStore>& store) override {
        if ((flags & ~kKnownStoreFlags) != 0) {
            return MAPI_E_UNKNOWN_FLAGS;
        }
        auto service = std::find_if(services_.begin(), services_.end(), [&](const ProfileService& s) {
            return SameStoreEntryId(StoreEntryId(s), storeEntryId);
        });
        if (service == services_.end()) {
            return MAPI_E_INVALID_ENTRYID;
        }
        if (service->pstPath.empty()) {
            return MAPI_E_UNCONFIGURED;
        }
        HRESULT hr = OpenPstStore(service->pstPath, StoreEntryId(*service), store);
        if (SUCCEEDED(hr)) {
            stores_.push_back(dynamic_cast<PstStore&>(*store).Context());
        }
        return hr;
    }

    HRESULT OpenEntry(const EntryId& entryId, uint32_t, uint32_t& objectType,
                      std::unique_ptr<IMAPIProp>& object) override {
        std::erase_if(stores_, [](const auto& store) { return store.expired(); });
        for (const auto& weak : stores_) {
            auto context = weak.lock();
            if (context && context->NidOf(entryId)) {
                return OpenStoreObject(context, entryId, objectType, object);
            }
        }
        return MAPI_E_INVALID_ENTRYID;
    }

    HRESULT CompareEntryIDs(const EntryId& a, const EntryId& b, uint32_t, bool& equal) override {
        equal = SameEntry(a, b);
        return S_OK;
    }

  private:
    std::vector<ProfileService> services_;
    std::vector<std::weak_ptr<StoreContext>> stores_;
};

}  // namespace

}  // namespace mapipst

HRESULT MAPIInitialize(uint32_t) {
    ++mapipst::initialiseCount;
    return S_OK;
}

void MAPIUninitialize() {
    if (mapipst::initialiseCount > 0) {
        --mapipst::initialiseCount;
    }
}

HRESULT MAPILogonEx(uint64_t, const std::string& profileName, const std::string&, uint32_t,
                    std::unique_ptr<IMAPISession>& session) {
    if (mapipst::initialiseCount == 0) {
        return MAPI_E_NOT_INITIALIZED;
    }
    if (!mapipst::ProfileExists(profileName)) {
        LogLine("**Error**: there is no MAPI profile named \"%s\"", profileName.c_str());
        return MAPI_E_LOGON_FAILED;
    }
    session = std::make_unique<mapipst::Session>(mapipst::ProfileServices(profileName));
    return S_OK;
}

HRESULT HrGetOneProp(IMAPIProp& object, uint32_t tag, SPropValue& value) {
    std::vector<SPropValue> values;
    HRESULT hr = object.GetProps({tag}, MAPI_UNICODE, values);
    if (FAILED(hr)) {
        return hr;
    }
    if (values.empty()) {
        return MAPI_E_NOT_FOUND;
    }
    if (values.front().IsError()) {
        return values.front().ErrorCode();
    }
    value = std::move(values.front());
    return S_OK;
}

HRESULT HrQueryAllRows(IMAPITable& table, const SPropTagArray* columns, const SRestriction* restriction,
                       const SSortOrderSet* sortOrder, int32_t maxRows, SRowSet& rows) {
    rows.clear();
    HRESULT hr = S_OK;
    if (columns != nullptr && FAILED(hr = table.SetColumns(*columns, 0))) {
        return hr;
    }
    if (restriction != nullptr && FAILED(hr = table.Restrict(restriction, 0))) {
        return hr;
    }
    if (sortOrder != nullptr && FAILED(hr = table.SortTable(*sortOrder, 0))) {
        return hr;
    }
    if (FAILED(hr = table.SeekRow(BOOKMARK_BEGINNING, 0, nullptr))) {
        return hr;
    }
    uint32_t count = 0;
    if (FAILED(hr = table.GetRowCount(0, count))) {
        return hr;
    }
    if (maxRows > 0 && count > static_cast<uint32_t>(maxRows)) {
        return MAPI_E_TABLE_TOO_BIG;
    }
    return table.QueryRows(static_cast<int32_t>(count), 0, rows);
}
