#pragma once
// One MAPI logon, and the stores opened through it. MAPI must be initialised on the calling thread
// (MAPIInitialize) before a Session is used and stay so until it is gone.

#include <memory>
#include <string>

#include "mapi/Store.h"
#include "mapi/platform/MapiInterfaces.h"

namespace Tarvik::MAPI {

class Session {
  public:
    // Logs on to the profile: S_OK, or E_FAIL without doing anything when already logged on.
    // Throws LogonException when MAPI refuses the logon.
    HRESULT Logon(const std::string& profileName);
    void Logoff() { session_.reset(); }

    // Opens the store of the profile whose PR_DEFAULT_STORE is true, looks up the partial-download
    // marker in it (ImportParams::partialDownloadPropTag) and Inits `store`. Throws HRException:
    // E_FAIL without a logon or without a default store, MAPI_E_NOT_FOUND for an empty store
    // table, the result of OpenMsgStore when the store cannot be opened.
    void OpenDefaultStore(Store& store);

    // Another user's mailbox on an Exchange server. A PST profile has no Exchange store, so this
    // throws HRException (MAPI_E_INTERFACE_NOT_SUPPORTED) as MAPI does without Exchange.
    void OpenOtherUserStore(const std::string& serverDn, const std::string& mailboxDn,
                            IMsgStore& defaultStore, Store& store);

    IMAPISession* Get() const { return session_.get(); }
    bool LoggedOn() const { return session_ != nullptr; }

  private:
    std::unique_ptr<IMAPISession> session_;
};

}  // namespace Tarvik::MAPI
