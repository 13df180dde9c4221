#pragma once
// Walks a source store and drives an IItemHandler.
//
// The folder walk (ScanFolders) visits the folder tree depth first from the IPM subtree, never
// entering Sync Issues. The item walk (Scan) first collects the identifiers of every item of the
// given folders without opening one, asks the handler which are new, then opens the new ones in
// order of their sent time (items without one first) and hands each to the handler operation for
// its kind. A calendar item whose UID was handed over earlier in the same Scan is skipped.
//
// Failures of one item (it cannot be opened or read, the handler throws) are reported as warnings
// through the job's progress sink and counted; when the count reaches the job's errorThreshold the
// walk ends with Tarvik::TarvikException code "error_threshold_reached.". Both walks stop between
// folders and items once the job's cancel flag is set.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "mapi/Folder.h"
#include "mapi/IItemHandler.h"
#include "mapi/Message.h"
#include "mapi/Store.h"

namespace Tarvik::MAPI {

class MailboxScanner {
  public:
    explicit MailboxScanner(bool foldersOnly = false) : foldersOnly_(foldersOnly) {}

    // The item walk over `folders`. Exceptions other than per-item failures propagate, the
    // error-limit exception among them.
    void Scan(IMAPISession& session, Store& store, IItemHandler& handler, const std::vector<Folder>& folders);

    // The folder walk from `folder`; subfolders get their path from their parent's.
    void Walk(Folder& folder, Folder& parent, Store& store, IItemHandler& handler);

    bool FoldersOnly() const { return foldersOnly_; }

  private:
    struct QueuedItem;

    void ProcessQueued(IMAPISession& session, Store& store, IItemHandler& handler, QueuedItem& item,
                       int32_t& errorCount);
    void CheckAppointmentAndProcess(Store& store, Message& message, Folder& folder, IItemHandler& handler,
                                    int32_t& errorCount);
    void ProcessItem(Message& message, Folder& folder, IItemHandler& handler, int32_t& errorCount);

    bool foldersOnly_;
    std::set<std::string> appointmentUids_;
};

// Opens the store's root folder and walks the tree from it, the root being its own parent.
// Exceptions of OpenRootFolder propagate.
void ScanFolders(Store& store, MailboxScanner& scanner, IMAPISession& session, IItemHandler& handler);

}  // namespace Tarvik::MAPI
