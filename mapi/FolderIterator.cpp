#include "mapi/FolderIterator.h"

#include "mapi/SourceErrors.h"
#include "mapi/platform/PropTags.h"

namespace Tarvik::MAPI {

SPropTagArray FolderIterator::Columns() const {
    return {PR_DISPLAY_NAME_W, PR_ENTRYID, PR_FOLDER_FLAGS};
}

bool FolderIterator::GetNext(Folder& folder) {
    const SRow* row = nullptr;
    while ((row = NextRow()) != nullptr) {
        const SPropValue& flags = row->lpProps[2];
        if (!flags.IsError() && (flags.AsLong() & MDB_FOLDER_NORMAL) != 0 && !row->lpProps[1].IsError()) {
            break;
        }
    }
    if (row == nullptr) {
        return false;
    }
    EntryId entryId = row->lpProps[1].AsBinary();
    uint32_t type = 0;
    std::unique_ptr<IMAPIProp> object;
    HRESULT hr = Parent()->OpenEntry(entryId, MAPI_BEST_ACCESS, type, object);
    std::unique_ptr<IMAPIFolder> opened = SUCCEEDED(hr) ? As<IMAPIFolder>(std::move(object)) : nullptr;
    if (!opened) {
        TVK_THROW_HR(FAILED(hr) ? hr : MAPI_E_INVALID_OBJECT);
    }
    const SPropValue& name = row->lpProps[0];
    folder = Folder(std::move(opened), name.IsError() ? std::string() : name.AsText(), entryId);
    return true;
}

}  // namespace Tarvik::MAPI
