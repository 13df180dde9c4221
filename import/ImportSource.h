#pragma once
// The source side of one import job as the worker uses it: a MAPI session on the job's profile and
// the default message store opened through it. The MAPI implementation initialises MAPI for the
// calling thread when it is built and uninitialises it when it is destroyed; the engine reaches the
// open store and session through the implementation it was built with.

#include <string>

class IImportSource {
  public:
    virtual ~IImportSource() = default;

    // Logs on to the MAPI profile; throws Tarvik::MAPI::LogonException when that fails.
    virtual void Logon(const std::string& profileName) = 0;

    // Opens the profile's default message store; throws Tarvik::MAPI::HRException.
    virtual void OpenDefaultStore() = 0;

    // Release the store and end the session; each does nothing when there is nothing to release.
    virtual void CloseStore() = 0;
    virtual void Logoff() = 0;

    // Deletes a MAPI profile through the profile administration (the job's temporary profile) and
    // logs "IPROFADMIN RefCount: %u" with the count left when the administration is released.
    virtual void DeleteProfile(const std::string& profileName) = 0;
};
