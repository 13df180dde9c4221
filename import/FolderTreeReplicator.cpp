#include "import/FolderTreeReplicator.h"

#include <algorithm>
#include <array>
#include <utility>

#include "import/ActingAccount.h"
#include "import/FolderName.h"
#include "runtime/Log.h"
#include "runtime/Text.h"
#include "tarvik/TarvikFaults.h"

namespace {

// Top-level folders with these names are taken as the special folder, whatever the store's
// special-folder table says (stores made by other programs often lack the table's entries).
constexpr std::array<std::pair<std::string_view, SpecialFolder>, 8> specialFolderNames{{
    {"Inbox", SpecialFolder::Inbox},
    {"Calendar", SpecialFolder::Calendar},
    {"Contacts", SpecialFolder::Contacts},
    {"Drafts", SpecialFolder::Drafts},
    {"Deleted Items", SpecialFolder::DeletedItems},
    {"Junk E-mail", SpecialFolder::JunkEmail},
    {"Sent Items", SpecialFolder::SentItems},
    {"Tasks", SpecialFolder::Tasks},
}};

constexpr std::string_view junkFolderName = "Junk E-mail";

// The log name and the server folder of a special folder handled as such.
struct SpecialTarget {
    const char* logName;
    int64_t id;
};

std::optional<SpecialTarget> SpecialTargetOf(SpecialFolder kind) {
    switch (kind) {
        case SpecialFolder::Root:
            return SpecialTarget{"root", ServerFolder::Root};
        case SpecialFolder::Inbox:
            return SpecialTarget{"inbox", ServerFolder::Inbox};
        case SpecialFolder::DeletedItems:
            return SpecialTarget{"trash", ServerFolder::Trash};
        case SpecialFolder::JunkEmail:
            return SpecialTarget{"spam", ServerFolder::Junk};
        case SpecialFolder::SentItems:
            return SpecialTarget{"sent", ServerFolder::Sent};
        case SpecialFolder::Drafts:
            return SpecialTarget{"drafts", ServerFolder::Drafts};
        case SpecialFolder::Contacts:
            return SpecialTarget{"contacts", ServerFolder::Contacts};
        case SpecialFolder::Calendar:
            return SpecialTarget{"calendar", ServerFolder::Calendar};
        case SpecialFolder::Tasks:
            return SpecialTarget{"Task", ServerFolder::Tasks};
        case SpecialFolder::Outbox:
            return SpecialTarget{"Outbox", ServerFolder::None};
        default:
            return std::nullopt;
    }
}

bool IsSystemFolder(int64_t id) {
    return id >= ServerFolder::Root && id <= ServerFolder::LastSystem;
}

}  // namespace

FolderTreeReplicator::FolderTreeReplicator(FolderIdMap& folderIdMap, Tarvik::Mail::Mailbox& mailbox,
                                           ImportParams& params, std::string accountName)
    : folderIdMap_(folderIdMap), mailbox_(mailbox), params_(params), accountName_(std::move(accountName)) {}

void FolderTreeReplicator::FetchServerFolders() {
    try {
        serverTree_ = mailbox_.GetRootFolder(ActingAccount(params_, accountName_));
    } catch (const Tarvik::TarvikServiceException::AuthExpired&) {
        mailbox_.ReLogon();
        serverTree_ = mailbox_.GetRootFolder(ActingAccount(params_, accountName_));
    }
}

FolderTreeReplicator::Decision FolderTreeReplicator::OnEnterFolder(const ISourceFolder& folder,
                                                                   const ISourceFolder& parent) {
    std::string displayName = folder.DisplayName();
    LogLine("(FR): Entering folder: %s", displayName.c_str());
    std::string entryId = folder.EntryId();
    bool isRoot = entryId == parent.EntryId();
    if (isRoot && !rootEntryId_) {
        rootEntryId_ = entryId;
    }

    SpecialFolder kind = isRoot ? SpecialFolder::Root : KindOf(folder, parent);
    std::optional<SpecialTarget> special = SpecialTargetOf(kind);
    if (special) {
        LogLine("(FR): Detected special folder (%s)", special->logName);
    }
    bool wanted = true;
    int64_t id = special ? special->id : ServerFolder::None;
    auto skip = [&wanted](bool imported) {
        if (!imported) {
            LogLine("(FR): Skipping this folder and children");
            wanted = false;
        }
    };
    switch (kind) {
        case SpecialFolder::Root:
            params_.rootItemsFolderId = ServerFolder::Root;
            if (folder.HasItems()) {
                // The server's root cannot hold items: they get a folder of their own.
                std::optional<std::string> name = ServerName(folder, parent);
                id = name ? FindOrCreate(*name, folder) : ServerFolder::None;
                params_.rootItemsFolderId = id;
            }
            break;
        case SpecialFolder::Inbox:
        case SpecialFolder::Calendar:
        case SpecialFolder::Contacts:
        case SpecialFolder::Drafts:
        case SpecialFolder::Tasks:
            break;
        case SpecialFolder::Outbox:
            parents_.push_back(currentParent_);
            return {};
        case SpecialFolder::SentItems:
            skip(params_.importSentItems);
            break;
        case SpecialFolder::DeletedItems:
            skip(params_.importDeletedItems);
            break;
        case SpecialFolder::JunkEmail:
            inJunk_ = true;
            junkParent_ = currentParent_;
            skip(params_.importJunk);
            break;
        default:
            if (inJunk_) {
                // The server's junk folder has no subfolders: their items go to junk itself.
                LogLine("(MI): Sub Folders for JunkMail will not be created.");
                if (params_.importJunk && params_.progress != nullptr) {
                    params_.progress->ReportWarning(LookupText("WARN_JUNK_SUBFOLDERS"));
                }
            } else {
                LogLine("(FR): Handling user-defined folder");
                std::optional<std::string> name = ServerName(folder, parent);
                if (name) {
                    id = FindOrCreate(*name, folder);
                } else {
                    LogLine("(FR): Call the cavalry, we have a problem allocating memory.");
                }
            }
            break;
    }

    Decision decision{.listed = wanted, .descend = wanted};
    if (wanted) {
        LogLine("(FR): Child folders will be processed");
    }
    if (inJunk_) {
        folderIdMap_[entryId] = ServerFolder::Junk;
        parents_.push_back(junkParent_);
        currentParent_ = ServerFolder::Junk;
        return decision;
    }
    if (isRoot) {
        // A root whose items found no folder still leads to every folder below it; its own items
        // then fail one by one, reported, instead of the whole store being passed over.
        if (id != ServerFolder::None) {
            folderIdMap_[entryId] = id;
        }
        parents_.push_back(currentParent_);
        currentParent_ = ServerFolder::Root;
        return decision;
    }
    if (id == ServerFolder::None) {
        LogLine("(FR): Call the cavalry, we have a problem.");
        parents_.push_back(currentParent_);
        decision.descend = false;
        return decision;
    }
    folderIdMap_[entryId] = id;
    parents_.push_back(currentParent_);
    currentParent_ = id;
    return decision;
}

void FolderTreeReplicator::OnLeaveFolder(const ISourceFolder& folder) {
    std::string displayName = folder.DisplayName();
    LogLine("(FR): Leaving folder %s", displayName.c_str());
    if (folder.Special() == SpecialFolder::JunkEmail || SameFolderName(displayName, junkFolderName)) {
        inJunk_ = false;
    }
    if (!parents_.empty()) {
        currentParent_ = parents_.back();
        parents_.pop_back();
    }
}

SpecialFolder FolderTreeReplicator::KindOf(const ISourceFolder& folder, const ISourceFolder& parent) const {
    if (rootEntryId_ && parent.EntryId() == *rootEntryId_) {
        std::string name = folder.DisplayName();
        for (const auto& [specialName, kind] : specialFolderNames) {
            if (SameFolderName(name, specialName)) {
                return kind;
            }
        }
    }
    return folder.Special();
}

std::optional<std::string> FolderTreeReplicator::ServerName(const ISourceFolder& folder,
                                                            const ISourceFolder& parent) const {
    bool isRoot = folder.EntryId() == parent.EntryId();
    CleanedFolderName cleaned = isRoot ? CleanedFolderName{std::string(rootItemsFolderName), false}
                                       : CleanFolderName(folder.DisplayName());
    if (cleaned.name.empty()) {
        return std::nullopt;
    }
    bool ambiguous = false;
    if (isRoot || cleaned.changed) {
        std::optional<std::vector<std::string>> siblings = isRoot ? folder.ChildNames() : parent.ChildNames();
        if (!siblings) {
            ambiguous = !isRoot;
        } else {
            auto sameName = [&cleaned](const std::string& sibling) {
                return SameFolderName(CleanFolderName(sibling).name, cleaned.name);
            };
            auto matches = std::count_if(siblings->begin(), siblings->end(), sameName);
            ambiguous = matches >= (isRoot ? 1 : 2);
        }
    }
    if (!ambiguous) {
        return WithSuffix(cleaned.name, "");
    }
    std::optional<std::string> suffix = EntryIdSuffix(folder.EntryId());
    if (!suffix) {
        return std::nullopt;
    }
    return WithSuffix(cleaned.name, *suffix);
}

int64_t FolderTreeReplicator::FindOrCreate(const std::string& name, const ISourceFolder& folder) {
    auto findOnServer = [this](const std::string& candidate) -> std::optional<int64_t> {
        if (!serverTree_) {
            return std::nullopt;
        }
        std::unique_ptr<Tarvik::Mail::FolderInfo> found =
            mailbox_.FindChildFolder(*serverTree_, currentParent_, candidate);
        return found ? std::optional<int64_t>(found->id) : std::nullopt;
    };
    std::string serverName = name;
    std::optional<int64_t> found = findOnServer(serverName);
    if (found && IsSystemFolder(*found)) {
        // A system folder of the server bears this name here: the user's folder takes a name of its own.
        std::optional<std::string> suffix = EntryIdSuffix(folder.EntryId());
        if (!suffix) {
            LogLine("(FR): Call the cavalry, we have a problem allocating memory.");
            return ServerFolder::None;
        }
        serverName = WithSuffix(name, *suffix);
        found = findOnServer(serverName);
    }
    if (found) {
        LogLine("(FR): Folder exists on tarvik - fid is %lld", static_cast<long long>(*found));
        return *found;
    }
    auto key = std::make_pair(FolderNameKey(serverName), currentParent_);
    if (auto made = created_.find(key); made != created_.end()) {
        LogLine("(FR): Folder %s already exists on tarvik( fid %lld ).Using the same one.",
                serverName.c_str(), static_cast<long long>(made->second));
        return made->second;
    }
    int64_t id = Create(serverName, folder.FolderKind());
    if (id != ServerFolder::None) {
        created_[key] = id;
        LogLine("(FR): Created a new folder %s - fid is %lld", serverName.c_str(),
                static_cast<long long>(id));
    }
    return id;
}

int64_t FolderTreeReplicator::Create(const std::string& name, int kind) {
    LogLine("(FR): Folder does not exist on tarvik, attempting to create it");
    int64_t id = ServerFolder::None;
    try {
        try {
            id = mailbox_.CreateFolder(name, currentParent_, kind, ActingAccount(params_, accountName_));
        } catch (const Tarvik::TarvikServiceException::AuthExpired&) {
            mailbox_.ReLogon();
            id = mailbox_.CreateFolder(name, currentParent_, kind, ActingAccount(params_, accountName_));
        }
    } catch (const Tarvik::TarvikServiceException::AuthExpired&) {
        throw;
    } catch (const Tarvik::TarvikException& fault) {
        LogLine("(FR): Failed to create folder %s on tarvik", name.c_str());
        LogLine("(FR): %s %s", fault.Code().c_str(), fault.Message().c_str());
        return ServerFolder::None;
    }
    LogLine("(FR): Created folder %s with id %lld with parent id %lld", name.c_str(),
            static_cast<long long>(id), static_cast<long long>(currentParent_));
    return id;
}
