#pragma once
// A folder of the open source store as folder replication reads it.

#include "import/FolderTreeReplicator.h"
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
