#pragma once
// A folder of the open source store as folder replication reads it, and the source tree as the item
// adder climbs it.

#include "import/FolderTreeReplicator.h"
#include "import/MessageAdder.h"
#include "mapi/Folder.h"
#include "mapi/Store.h"

class MapiSourceFolder : public ISourceFolder {
  public:
    MapiSourceFolder(const Tarvik::MAPI::Folder& folder, const Tarvik::MAPI::Store& store)
        : folder_(folder), store_(store) {}

    std::string EntryId() const override { return folder_.GetEntryId(); }
    std::string DisplayName() const override { return folder_.Name(); }
    SpecialFolder Special() const override;
    int FolderKind() const override;
    bool HasItems() const override;
    std::optional<std::vector<std::string>> ChildNames() const override;

  private:
    const Tarvik::MAPI::Folder& folder_;
    const Tarvik::MAPI::Store& store_;
};

class MapiFolderParents : public IFolderParents {
  public:
    explicit MapiFolderParents(Tarvik::MAPI::Store& store) : store_(store) {}
    std::optional<std::string> ParentOf(const std::string& folderEntryId) override;

  private:
    Tarvik::MAPI::Store& store_;
};
