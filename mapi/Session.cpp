#include "mapi/Session.h"

#include <unistd.h>

#include <climits>

#include "mapi/NamedProps.h"
#include "mapi/SourceErrors.h"
#include "mapi/platform/PropTags.h"
#include "runtime/ImportParams.h"

namespace Tarvik::MAPI {

namespace {

constexpr uint32_t kLogonFlags =
    MAPI_UNICODE | MAPI_NO_MAIL | MAPI_EXTENDED | MAPI_EXPLICIT_PROFILE | MAPI_NEW_SESSION;
constexpr uint32_t kStoreFlags = MDB_NO_DIALOG | MAPI_BEST_ACCESS | MDB_TEMPORARY | MDB_NO_MAIL | MDB_ONLINE;

// A MAPI provider may change the process's current directory; this puts it back.
class CurrentDirectoryKeeper {
  public:
    CurrentDirectoryKeeper() {
        char path[PATH_MAX];
        if (getcwd(path, sizeof path) != nullptr) {
            saved_ = path;
        }
    }
    ~CurrentDirectoryKeeper() {
        if (!saved_.empty() && chdir(saved_.c_str()) != 0) {
            // Nothing better to do: the directory is gone.
        }
    }

  private:
    std::string saved_;
};

// The entry id of the store whose PR_DEFAULT_STORE is true, or the failure.
HRESULT FindDefaultStore(IMAPISession& session, EntryId& entryId) {
    std::unique_ptr<IMAPITable> table;
    HRESULT hr = session.GetMsgStoresTable(0, table);
    uint32_t count = 0;
    if (SUCCEEDED(hr)) {
        hr = table->GetRowCount(0, count);
    }
    if (SUCCEEDED(hr)) {
        hr = table->SetColumns({PR_DEFAULT_STORE, PR_ENTRYID}, 0);
    }
    if (SUCCEEDED(hr)) {
        hr = table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr);
    }
    if (FAILED(hr)) {
        return hr;
    }
    SRowSet rows;
    hr = table->QueryRows(static_cast<int32_t>(count), 0, rows);
    if (FAILED(hr)) {
        return hr == MAPI_E_NOT_FOUND ? MAPI_E_NOT_FOUND : E_FAIL;
    }
    if (rows.empty()) {
        return MAPI_E_NOT_FOUND;
    }
    for (const auto& row : rows) {
        const SPropValue& isDefault = row.lpProps[0];
        if (!isDefault.IsError() && isDefault.AsInt64() == 1 && !row.lpProps[1].IsError()) {
            entryId = row.lpProps[1].AsBinary();
            return S_OK;
        }
    }
    return E_FAIL;
}

}  // namespace

HRESULT Session::Logon(const std::string& profileName) {
    if (session_) {
        return E_FAIL;
    }
    HRESULT hr = S_OK;
    {
        CurrentDirectoryKeeper keeper;
        hr = MAPILogonEx(0, profileName, "", kLogonFlags, session_);
    }
    if (FAILED(hr)) {
        session_.reset();
        throw LogonException(hr, kObjectsUnit, __LINE__);
    }
    return S_OK;
}

void Session::OpenDefaultStore(Store& store) {
    if (!session_) {
        TVK_THROW_HR(E_FAIL);
    }
    std::unique_ptr<IMsgStore> mdb;
    HRESULT hr = S_OK;
    {
        CurrentDirectoryKeeper keeper;
        EntryId entryId;
        hr = FindDefaultStore(*session_, entryId);
        if (FAILED(hr)) {
            TVK_THROW_HR(hr);
        }
        hr = session_->OpenMsgStore(entryId, kStoreFlags, mdb);
        if (hr == MAPI_E_UNKNOWN_FLAGS) {
            hr = session_->OpenMsgStore(entryId, kStoreFlags & ~MDB_ONLINE, mdb);
        }
    }
    if (FAILED(hr)) {
        TVK_THROW_HR(hr);
    }
    Tarvik::Mapi::LookupPartialDownloadMarker(*mdb, GetImportParams());
    store.Init(std::move(mdb), session_.get());
}

void Session::OpenOtherUserStore(const std::string&, const std::string&, IMsgStore&, Store&) {
    if (!session_) {
        throw HRException(E_FAIL, kUtilsUnit, __LINE__);
    }
    // Only an Exchange store offers IExchangeManageStore; a PST store does not.
    throw HRException(MAPI_E_INTERFACE_NOT_SUPPORTED, kUtilsUnit, __LINE__);
}

}  // namespace Tarvik::MAPI
