#pragma once
// The one process-wide job record: source, destination, session mode, options, limits, work
// directory, progress sink, problem list and statistics of the running import. Every part of the
// program reads job settings from it; there is no copy per job. Created on first use by
// GetImportParams() (first called on the main thread before any worker starts).

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/ImportProgress.h"

class ImportStatistics;  // counters of the running item pass (import engine)

struct ImportParams {
    // Destination.
    std::string serverName;
    std::string mailHost;  // public service host of the target's domain (administrative mode)
    int32_t port = 80;
    bool sslEnabled = false;
    bool acceptInvalidCertificate = false;

    // What to import.
    bool importMails = true;
    bool importTasks = true;
    bool importContacts = true;
    bool importCalendar = true;
    bool messageLogging = false;  // keep MIME copies of uploaded messages

    // Accounts and session mode.
    std::string authAccount;  // the account that authenticates: an administrator or the target itself
    std::string password;
    std::string domain;
    std::string serverVersion;  // as reported at logon; 5 or more selects "requestId" addressing
    int32_t errorThreshold = 3;  // item error limit; 0 means none
    int32_t useRtf = 1;
    bool adminMode = false;
    std::string targetAccount;
    int32_t adminPort = 7071;
    bool adminSslEnabled = false;
    bool adminAcceptInvalidCertificate = false;

    // Source and options.
    std::string pstPath;
    std::string pstBaseName;  // file name of pstPath without directory and last extension
    bool importDeletedItems = true;
    bool importJunk = true;
    bool importSentItems = true;
    bool ignorePreviouslyImported = true;  // skip items recorded in the progress log
    bool dateFilterEnabled = false;
    uint64_t startDate = 0;  // FILETIME, UTC
    bool convertOrganizer = true;
    bool restrictionsDisabled = false;  // a provider refused the item restriction; lasts for the process
    std::string profileName;
    bool importPrivateAppointments = true;
    int32_t outlookVersion = 0;
    std::mutex outlookLock;

    // Directory (Exchange address resolution).
    std::string adServer;
    std::string adUser;
    std::string adPassword;
    bool directoryLookupDeclined = false;

    std::string workDirectory;
    IImportProgress* progress = nullptr;  // not owned
    std::vector<ProblemRecord> problems;
    std::shared_ptr<ImportStatistics> statistics;
    bool skipPartialMessages = false;
    int64_t rootItemsFolderId = 1;
    uint32_t partialDownloadPropTag = 0;
    bool isAdmin = false;
    bool isDomainAdmin = false;
    std::mutex dumpLock;
    std::string startDirectory;
    bool commandLineMode = false;
    uint64_t quotaLeft = 0;  // bytes; 0 means unknown or unlimited
    std::vector<std::string> logFiles;  // the run's log first, then every progress log opened
    std::map<std::string, std::string> organizerAddresses;  // account -> former organizer address
    std::string tempProfileName;

    // Administrative mode: an administrator acting on behalf of targetAccount.
    bool AdministrativeMode() const { return (isAdmin || isDomainAdmin) && adminMode; }

    // Sets pstPath and derives pstBaseName from it.
    void SetPstPath(const std::string& path);
};

ImportParams& GetImportParams();

// Restores the per-job options to their defaults between jobs of a configuration file.
void ResetImportParams(ImportParams& params);

// Set by the user's cancel request; the scans test it before every folder and item.
std::atomic<bool>& ImportCancelFlag();
