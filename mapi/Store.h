#pragma once
// One open message store and the entry ids of its special folders (Inbox, IPM subtree, Calendar,
// ... Junk E-mail), found the way Outlook records them: the receive folder, store properties,
// Inbox properties and the Inbox's additional special-folder list. Entry ids are compared through
// the session's CompareEntryIDs, never byte by byte.

#include <array>
#include <memory>

#include "mapi/Folder.h"
#include "mapi/platform/MapiInterfaces.h"

namespace Tarvik::MAPI {

// Indexes into SpecialFolderIds.
enum SpecialFolder : int {
    Inbox = 0,
    IpmSubtree = 1,
    Calendar = 2,
    Contacts = 3,
    Drafts = 4,
    Journal = 5,
    Notes = 6,
    Tasks = 7,
    Outbox = 8,
    SentItems = 9,
    DeletedItems = 10,
    Conflicts = 11,
    SyncIssues = 12,
    LocalFailures = 13,
    ServerFailures = 14,
    JunkEmail = 15,
};
inline constexpr int kSpecialFolderCount = 16;
// SpecialFolderIndex of a folder that is none of the special folders.
inline constexpr int kNotSpecialFolder = 1000;

// An empty entry id means "unknown".
using SpecialFolderIds = std::array<EntryId, kSpecialFolderCount>;

class Store {
  public:
    Store() = default;
    ~Store();  // never throws; failures while releasing are logged
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Releases what the store held, takes the new store and fills the special folders. Never
    // throws: entries that cannot be found stay empty.
    void Init(std::unique_ptr<IMsgStore> store, IMAPISession* session);
    void Release();

    // The IPM subtree as a Folder named "/". Throws FolderNotFoundException when the store has no
    // IPM subtree entry id, Tarvik::TarvikException when the folder cannot be opened.
    HRESULT OpenRootFolder(Folder& folder);

    // 0-15, or kNotSpecialFolder.
    int SpecialFolderIndex(const EntryId& entryId) const;
    const SpecialFolderIds& SpecialFolders() const { return specialFolders_; }

    IMsgStore* Get() const { return store_.get(); }
    IMAPISession* Session() const { return session_; }

  private:
    void FindSpecialFolders();

    std::unique_ptr<IMsgStore> store_;
    IMAPISession* session_ = nullptr;  // borrowed
    SpecialFolderIds specialFolders_;
};

}  // namespace Tarvik::MAPI
