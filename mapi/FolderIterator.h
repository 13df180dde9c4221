#pragma once
// The subfolders of a folder, opened one by one. Search folders (and any row without
// MDB_FOLDER_NORMAL in PR_FOLDER_FLAGS) are skipped.

#include "mapi/Folder.h"
#include "mapi/MapiTableIterator.h"

namespace Tarvik::MAPI {

class FolderIterator : public MapiTableIterator {
  public:
    // The next subfolder; false at the end. Throws HRException when it cannot be opened (the
    // iterator stays usable for the rows after it).
    bool GetNext(Folder& folder);

  protected:
    SPropTagArray Columns() const override;
    const SSortOrderSet* SortOrder() const override { return nullptr; }
    std::optional<SRestriction> Restriction(bool) const override { return std::nullopt; }
};

}  // namespace Tarvik::MAPI
