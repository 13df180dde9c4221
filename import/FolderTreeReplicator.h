#pragma once
// Mirrors the source folder tree in the target account before any item is imported. For each source
// folder it decides which server folder receives its items (a system folder, an existing folder of
// the same name, or a new one), records the decision in the folder id map and says whether the
// folder's items are to be imported. The folder walk drives it (OnEnterFolder, OnLeaveFolder),
// depth first, the root being its own parent.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/ImportParams.h"
#include "tarvik/FolderInfo.h"
#include "tarvik/Mailbox.h"

// Source folder entry id (bytes) -> server folder id.
using FolderIdMap = std::map<std::string, int64_t>;

// What the store's special-folder table says a folder is.
enum class SpecialFolder {
    None,
    Inbox,
    Root,
    Calendar,
    Contacts,
    Drafts,
    Journal,
    Notes,
    Tasks,
    Outbox,
    SentItems,
    DeletedItems,
    Conflicts,
    SyncIssues,
    LocalFailures,
    ServerFailures,
    JunkEmail,
};

// The server's system folders.
namespace ServerFolder {
inline constexpr int64_t Root = 1;
inline constexpr int64_t Inbox = 2;
inline constexpr int64_t Trash = 3;
inline constexpr int64_t Junk = 4;
inline constexpr int64_t Sent = 5;
inline constexpr int64_t Drafts = 6;
inline constexpr int64_t Contacts = 7;
inline constexpr int64_t Calendar = 10;
inline constexpr int64_t Tasks = 15;
inline constexpr int64_t LastSystem = 15;
inline constexpr int64_t None = -1;
}  // namespace ServerFolder

// The facts about one source folder the replicator reads, each only when it needs it.
class ISourceFolder {
  public:
    virtual ~ISourceFolder() = default;
    virtual std::string EntryId() const = 0;
    virtual std::string DisplayName() const = 0;
    virtual SpecialFolder Special() const = 0;
    // The server folder view: 1 mail, 3 contacts, 5 calendar, 6 tasks.
    virtual int FolderKind() const = 0;
    virtual bool HasItems() const = 0;
    // The display names of the folder's subfolders; nothing when they cannot be read.
    virtual std::optional<std::vector<std::string>> ChildNames() const = 0;
};

class FolderTreeReplicator {
  public:
    // Entered folders that are to be imported go to `folderList` (by entry id, in walk order).
    FolderTreeReplicator(FolderIdMap& folderIdMap, Tarvik::Mail::Mailbox& mailbox, ImportParams& params,
                         std::string accountName);

    // Reads the account's folder tree; a session that expired is renewed once.
    void FetchServerFolders();

    struct Decision {
        bool listed = false;   // the folder's items are to be imported
        bool descend = false;  // its subfolders are to be visited
    };
    Decision OnEnterFolder(const ISourceFolder& folder, const ISourceFolder& parent);
    // For every folder entered, whatever OnEnterFolder decided.
    void OnLeaveFolder(const ISourceFolder& folder);

  private:
    SpecialFolder KindOf(const ISourceFolder& folder, const ISourceFolder& parent) const;
    std::optional<std::string> ServerName(const ISourceFolder& folder, const ISourceFolder& parent) const;
    int64_t FindOrCreate(const std::string& name, const ISourceFolder& folder);
    int64_t Create(const std::string& name, int kind);

    FolderIdMap& folderIdMap_;
    Tarvik::Mail::Mailbox& mailbox_;
    ImportParams& params_;
    std::string accountName_;
    std::unique_ptr<Tarvik::Mail::FolderInfo> serverTree_;
    int64_t currentParent_ = ServerFolder::Root;
    std::vector<int64_t> parents_;
    bool inJunk_ = false;
    int64_t junkParent_ = ServerFolder::Root;  // where the walk goes on after the junk folder
    std::optional<std::string> rootEntryId_;
    std::map<std::pair<std::string, int64_t>, int64_t> created_;  // (name key, parent id) -> id
};
