#include "runtime/ImportParams.h"

void ImportParams::SetPstPath(const std::string& path) {
    pstPath = path;
    size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    pstBaseName = dot == std::string::npos ? std::string() : name.substr(0, dot);
}

ImportParams& GetImportParams() {
    static ImportParams params;
    return params;
}

void ResetImportParams(ImportParams& params) {
    params.importMails = params.importTasks = params.importContacts = params.importCalendar = true;
    params.importDeletedItems = params.importJunk = params.importSentItems = true;
    params.ignorePreviouslyImported = params.convertOrganizer = params.importPrivateAppointments = true;
    params.port = 80;
    params.adminPort = 7071;
    params.rootItemsFolderId = 1;
    params.sslEnabled = params.acceptInvalidCertificate = false;
    params.adminSslEnabled = params.adminAcceptInvalidCertificate = false;
    params.messageLogging = params.adminMode = params.dateFilterEnabled = false;
    params.skipPartialMessages = params.directoryLookupDeclined = false;
    params.isAdmin = params.isDomainAdmin = false;
    params.quotaLeft = 0;
    params.progress = nullptr;
    params.statistics.reset();
    params.organizerAddresses.clear();
}

std::atomic<bool>& ImportCancelFlag() {
    static std::atomic<bool> cancelled{false};
    return cancelled;
}
