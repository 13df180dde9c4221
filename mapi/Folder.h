#pragma once
// An open folder of the source store: the MAPI folder, its display name ("/" for the root of the
// visible tree), its entry id and its path in the tree (set by the folder walk). A Folder is a
// value: copies share the one open MAPI folder, which stays open while any copy lives.

#include <memory>
#include <string>

#include "mapi/platform/MapiInterfaces.h"

namespace Tarvik::MAPI {

class FolderIterator;
class MessageIterator;

class Folder {
  public:
    Folder() = default;
    Folder(std::shared_ptr<IMAPIFolder> folder, std::string name, EntryId entryId);

    // Nothing happens (the iterator stays empty) for a Folder without an open MAPI folder.
    // Throws HRException when the folder's table cannot be had.
    void GetFolderIterator(FolderIterator& iterator) const;
    void GetMessageIterator(MessageIterator& iterator) const;

    IMAPIFolder* Get() const { return folder_.get(); }
    bool IsOpen() const { return folder_ != nullptr; }
    const std::string& Name() const { return name_; }
    const EntryId& GetEntryId() const { return entryId_; }
    const std::string& Path() const { return path_; }
    void SetPath(std::string path) { path_ = std::move(path); }

  private:
    std::shared_ptr<IMAPIFolder> folder_;
    std::string name_;
    EntryId entryId_;
    std::string path_;
};

}  // namespace Tarvik::MAPI
