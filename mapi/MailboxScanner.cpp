#include "mapi/MailboxScanner.h"

#include <strings.h>

#include <ctime>
#include <iostream>
#include <queue>

#include "mapi/AppointmentUid.h"
#include "mapi/FolderIterator.h"
#include "mapi/HRException.h"
#include "mapi/MessageFile.h"
#include "mapi/MessageIterator.h"
#include "mapi/NamedProps.h"
#include "mapi/platform/PropTags.h"
#include "runtime/FaultGuard.h"
#include "runtime/ImportParams.h"
#include "runtime/Log.h"
#include "runtime/Text.h"
#include "tarvik/RpcException.h"
#include "tarvik/TarvikException.h"

namespace Tarvik::MAPI {

namespace {

constexpr const char* kScanName = "Tarvik::MAPI::MailboxScanner::Scan";
constexpr const char* kErrorLimitCode = "error_threshold_reached.";
constexpr const char* kHandlerErrorLimitCode = "error_threshold_reached";
constexpr int32_t kAccessDenied = 6;

IImportProgress& Progress() {
    static SilentProgress none;
    IImportProgress* progress = GetImportParams().progress;
    return progress != nullptr ? *progress : none;
}

bool Cancelled() {
    return ImportCancelFlag().load();
}

std::string Hex(const std::string& bytes) {
    std::string hex;
    char digits[3];
    for (unsigned char c : bytes) {
        snprintf(digits, sizeof digits, "%02x", c);
        hex += digits;
    }
    return hex;
}

// The sent time as the log shows it, "No Date" without one.
std::string DateText(const Message& message) {
    const SPropValue* sent = message.Property(MessageProp::ClientSubmitTime);
    if (sent == nullptr) {
        return "No Date";
    }
    constexpr int64_t kUnixEpochAsFileTime = 116444736000000000;
    time_t seconds = static_cast<time_t>((sent->AsInt64() - kUnixEpochAsFileTime) / 10000000);
    struct tm utc {};
    char text[64];
    if (gmtime_r(&seconds, &utc) == nullptr ||
        strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &utc) == 0) {
        return "No Date";
    }
    return text;
}

std::string FailedItemFolder() {
    std::filesystem::path log = LogFilePath();
    return log.empty() ? GetImportParams().workDirectory : log.parent_path().string();
}

// Hands the item to the handler's slot for its kind.
void Dispatch(Message& message, Folder& folder, IItemHandler& handler) {
    if (message.IsMail()) {
        handler.OnNewMessage(message, folder);
    } else if (message.IsContact()) {
        handler.OnNewContact(message, folder);
    } else if (message.IsAppointment() || message.IsTask()) {
        handler.OnNewAppointmentOrTask(message, folder);
    } else if (message.IsMeetingMessage()) {
        handler.OnNewMeetingMessage(message, folder);
    }
}

// An item whose processing faulted: reported, and kept as a message file for a later look.
void ReportUnprocessable(Message& message, Folder& folder, const char* why) {
    std::string date = DateText(message);
    LogLine("**Warning**:Unable to process message d(%s) Folder Name - %s (%s)", date.c_str(),
            folder.Name().c_str(), why);
    Progress().ReportWarning(FormatText("WARN_COULDNOT_PROCESS", date, folder.Name()));
    std::filesystem::path file = FailedItemFileName(FailedItemFolder(), message.GetEntryId());
    if (SUCCEEDED(SaveMessageFile(*message.Get(), file))) {
        LogLine("(MI): The MAPI message was logged to %s: ", file.c_str());
    }
}

std::string ChildPath(const Folder& parent, const Folder& child) {
    return parent.Path() == "/" || parent.Path().empty() ? "/" + child.Name()
                                                         : parent.Path() + "/" + child.Name();
}

}  // namespace

struct MailboxScanner::QueuedItem {
    uint64_t sentTime = 0;
    EntryId entryId;
    Folder* folder = nullptr;

    // Orders the heap so that the earliest sent time comes out first.
    bool operator>(const QueuedItem& other) const { return sentTime > other.sentTime; }
};

void MailboxScanner::Walk(Folder& folder, Folder& parent, Store& store, IItemHandler& handler) {
    if (handler.OnEnterFolder(folder, parent)) {
        FolderIterator subfolders;
        folder.GetFolderIterator(subfolders);
        while (!Cancelled()) {
            Folder subfolder;
            try {
                if (!subfolders.GetNext(subfolder)) {
                    break;
                }
            } catch (const HRException&) {
                std::cout << "!" << std::flush;
                continue;
            }
            // Sync Issues holds Outlook's own conflict records, never the user's items.
            if (store.SpecialFolderIndex(subfolder.GetEntryId()) == SyncIssues) {
                continue;
            }
            subfolder.SetPath(ChildPath(folder, subfolder));
            Walk(subfolder, folder, store, handler);
        }
    }
    handler.OnLeaveFolder(folder);
}

void ScanFolders(Store& store, MailboxScanner& scanner, IMAPISession&, IItemHandler& handler) {
    Folder root;
    store.OpenRootFolder(root);
    root.SetPath("/");
    scanner.Walk(root, root, store, handler);
}

void MailboxScanner::Scan(IMAPISession& session, Store& store, IItemHandler& handler,
                          const std::vector<Folder>& folders) {
    Folder root;
    bool haveRoot = false;
    try {
        haveRoot = SUCCEEDED(store.OpenRootFolder(root));
    } catch (const HRException&) {
    } catch (const Tarvik::TarvikException&) {
    }
    if (!haveRoot) {
        LogLine("%s.  could not get the root folder for the store, named props are going to be a problem",
                kScanName);
    } else {
        LogLine("%s. calling NamedProps::Init() using the root store folder", kScanName);
        if (!Tarvik::Mapi::NamedProps::Init(*root.Get())) {
            LogLine("%s. NamedProps::Init() - failed", kScanName);
        }
    }

    // Phase 1: identifiers only, no item is opened.
    LogLine("Starting mid scan");
    Progress().SetStatus(LookupText("INFO_IDENTIFYING_MSGS"));
    std::priority_queue<QueuedItem, std::vector<QueuedItem>, std::greater<>> queue;
    int64_t skipped = 0;
    // Handlers get folders they may change (a path, say); copies share the open MAPI folders.
    std::vector<Folder> walked = folders;
    for (Folder& folder : walked) {
        if (Cancelled()) {
            break;
        }
        MessageIterator items;
        folder.GetMessageIterator(items);
        QueuedItem item;
        std::string searchKey;
        while (!Cancelled() && items.GetNextIds(item.entryId, item.sentTime, searchKey)) {
            if (handler.ShouldImport(searchKey)) {
                item.folder = &folder;
                queue.push(item);
            } else {
                ++skipped;
            }
        }
    }
    LogLine("mid scan ended");
    Progress().SetTotal(static_cast<int64_t>(queue.size()) + skipped);
    Progress().SetDone(skipped);

    // Phase 2: open and hand over, earliest sent first.
    int32_t limit = GetImportParams().errorThreshold;
    int32_t errorCount = 0;
    while (!queue.empty() && !Cancelled()) {
        if (limit > 0 && errorCount >= limit) {
            throw Tarvik::TarvikException(LookupText("ERR_TOO_MANY"), kErrorLimitCode);
        }
        QueuedItem item = queue.top();
        queue.pop();
        Progress().Step();
        ProcessQueued(session, store, handler, item, errorCount);
    }
    appointmentUids_.clear();
}

void MailboxScanner::ProcessQueued(IMAPISession& session, Store& store, IItemHandler& handler,
                                   QueuedItem& item, int32_t& errorCount) {
    uint32_t type = 0;
    std::unique_ptr<IMAPIProp> object;
    HRESULT hr = session.OpenEntry(item.entryId, MAPI_BEST_ACCESS, type, object);
    std::unique_ptr<IMessage> opened = SUCCEEDED(hr) ? As<IMessage>(std::move(object)) : nullptr;
    Message message(&session);
    if (opened) {
        try {
            message.Init(std::move(opened));
        } catch (const HRException& error) {
            // A damaged item is one failed item, not the end of the run.
            hr = error.ErrorCode();
        }
    } else if (SUCCEEDED(hr)) {
        hr = MAPI_E_INVALID_OBJECT;
    }
    if (!message.IsInitialised()) {
        std::string id = Hex(item.entryId);
        LogLine("**Warning**: Unable to open message (%x) id %s", static_cast<unsigned>(hr), id.c_str());
        Progress().ReportWarning(FormatText("WARN_OPEN_MSG", static_cast<unsigned>(hr), id));
        ++errorCount;
        return;
    }
    Folder& folder = *item.folder;
    if (strncasecmp(message.MessageClass().c_str(), "IPM.APPOINTMENT", 15) == 0) {
        CheckAppointmentAndProcess(store, message, folder, handler, errorCount);
    } else {
        ProcessItem(message, folder, handler, errorCount);
    }
}

void MailboxScanner::CheckAppointmentAndProcess(Store&, Message& message, Folder& folder,
                                                IItemHandler& handler, int32_t& errorCount) {
    std::string uid;
    try {
        uid = Tarvik::Mapi::ReadAppointmentUid(*message.Get()).value_or("");
    } catch (...) {
        LogLine("**Error** exception in getting APpointment UID");
        uid.clear();
    }
    const SPropValue* subject = message.Property(MessageProp::Subject);
    bool hasSubject = subject != nullptr && !subject->AsText().empty();
    if (uid.empty() || !appointmentUids_.contains(uid)) {
        if (hasSubject) {
            LogLine("Migrating appointment (subject:%s) with Uid[%s]", subject->AsText().c_str(),
                    uid.c_str());
        }
        if (!uid.empty()) {
            appointmentUids_.insert(uid);
        }
        ProcessItem(message, folder, handler, errorCount);
        return;
    }
    if (hasSubject) {
        LogLine(
            "**INFO**: Appointment (subject:%s) with Uid[%s] has already been migrated, hence skipping it.",
            subject->AsText().c_str(), uid.c_str());
    } else {
        LogLine("**INFO**: Appointment with Uid[%s] has already been migrated, hence skipping it.",
                uid.c_str());
    }
    Progress().ReportWarning(FormatText("WARN_SKIPPING_APPT", uid));
}

void MailboxScanner::ProcessItem(Message& message, Folder& folder, IItemHandler& handler,
                                 int32_t& errorCount) {
    int32_t limit = GetImportParams().errorThreshold;
    try {
        std::string itemKey = FailedItemFileName({}, message.GetEntryId()).stem().string();
        if (GuardItem(itemKey, [&] { Dispatch(message, folder, handler); })) {
            ReportUnprocessable(message, folder, "processor fault");
            ++errorCount;
        }
    } catch (const Tarvik::Rpc::RpcException& error) {
        Progress().ReportWarning(FormatText("ERR_RPC", error.LocalizedDescription()));
        LogLine("**Warning**:RPC Error: %s", error.Description().c_str());
        ++errorCount;
    } catch (const Tarvik::TarvikException& error) {
        if (error.Code() == kHandlerErrorLimitCode) {
            errorCount = limit > 0 ? limit : errorCount + 1;
        } else {
            Progress().ReportWarning(FormatText("WARN_TARVIK_EXCEPTION", error.Message()));
            LogLine("**Warning**:Tarvik Exception: %s, %s", error.Code().c_str(), error.Message().c_str());
            ++errorCount;
        }
    } catch (const HRException& error) {
        if (error.ErrorCode() == kAccessDenied) {
            Progress().ReportWarning(LookupText("ERR_ACCESS_DENIED"));
        } else {
            Progress().ReportWarning(
                FormatText("ERR_COM_EXCEPTION", static_cast<unsigned>(error.ErrorCode()), error.Location()));
        }
        LogLine("**Warning**:COM Exception: %x at %s", static_cast<unsigned>(error.ErrorCode()),
                error.Location().c_str());
        ++errorCount;
    } catch (const std::exception& error) {
        // A fault of the converters that surfaced as an exception: handled like a processor fault.
        ReportUnprocessable(message, folder, error.what());
        ++errorCount;
    }
    if (limit > 0 && errorCount >= limit) {
        throw Tarvik::TarvikException(LookupText("ERR_TOO_MANY"), kErrorLimitCode);
    }
}

}  // namespace Tarvik::MAPI
