#include "mapi/Folder.h"

#include "mapi/FolderIterator.h"
#include "mapi/MessageIterator.h"
#include "mapi/SourceErrors.h"
#include "mapi/platform/PropTags.h"
#include "runtime/Log.h"

namespace Tarvik::MAPI {

Folder::Folder(std::shared_ptr<IMAPIFolder> folder, std::string name, EntryId entryId)
    : folder_(std::move(folder)), name_(std::move(name)), entryId_(std::move(entryId)) {}

void Folder::GetFolderIterator(FolderIterator& iterator) const {
    if (!folder_) {
        return;
    }
    std::unique_ptr<IMAPITable> table;
    HRESULT hr = folder_->GetHierarchyTable(MAPI_UNICODE, table);
    if (FAILED(hr)) {
        TVK_THROW_HR(hr);
    }
    iterator.Init(std::move(table), folder_.get());
}

void Folder::GetMessageIterator(MessageIterator& iterator) const {
    if (!folder_) {
        return;
    }
    std::unique_ptr<IMAPITable> table;
    HRESULT hr = folder_->GetContentsTable(MAPI_UNICODE, table);
    if (FAILED(hr)) {
        TVK_THROW_HR(hr);
    }
    SPropValue name;
    if (SUCCEEDED(HrGetOneProp(*folder_, PR_DISPLAY_NAME_W, name))) {
        uint32_t count = 0;
        hr = table->GetRowCount(0, count);
        if (FAILED(hr)) {
            TVK_THROW_HR(hr);
        }
        if (count != 0 && !name.AsText().empty()) {
            LogLine("Processing %u items of folder %s.", count, name.AsText().c_str());
        }
    }
    iterator.Init(std::move(table), folder_.get());
}

}  // namespace Tarvik::MAPI
