#include "import/MapiSourceFolder.h"

#include "mapi/FolderKind.h"
#include "mapi/platform/PropTags.h"

namespace {

::SpecialFolder FromStoreIndex(int index) {
    switch (index) {
        case Tarvik::MAPI::Inbox:
            return ::SpecialFolder::Inbox;
        case Tarvik::MAPI::IpmSubtree:
            return ::SpecialFolder::Root;
        case Tarvik::MAPI::Calendar:
            return ::SpecialFolder::Calendar;
        case Tarvik::MAPI::Contacts:
            return ::SpecialFolder::Contacts;
        case Tarvik::MAPI::Drafts:
            return ::SpecialFolder::Drafts;
        case Tarvik::MAPI::Journal:
            return ::SpecialFolder::Journal;
        case Tarvik::MAPI::Notes:
            return ::SpecialFolder::Notes;
        case Tarvik::MAPI::Tasks:
            return ::SpecialFolder::Tasks;
        case Tarvik::MAPI::Outbox:
            return ::SpecialFolder::Outbox;
        case Tarvik::MAPI::SentItems:
            return ::SpecialFolder::SentItems;
        case Tarvik::MAPI::DeletedItems:
            return ::SpecialFolder::DeletedItems;
        case Tarvik::MAPI::Conflicts:
            return ::SpecialFolder::Conflicts;
        case Tarvik::MAPI::SyncIssues:
            return ::SpecialFolder::SyncIssues;
        case Tarvik::MAPI::LocalFailures:
            return ::SpecialFolder::LocalFailures;
        case Tarvik::MAPI::ServerFailures:
            return ::SpecialFolder::ServerFailures;
        case Tarvik::MAPI::JunkEmail:
            return ::SpecialFolder::JunkEmail;
        default:
            return ::SpecialFolder::None;
    }
}

}  // namespace

::SpecialFolder MapiSourceFolder::Special() const {
    return FromStoreIndex(store_.SpecialFolderIndex(folder_.GetEntryId()));
}

int MapiSourceFolder::FolderKind() const {
    return Tarvik::MAPI::FolderKind(folder_);
}

bool MapiSourceFolder::HasItems() const {
    std::unique_ptr<IMAPITable> contents;
    uint32_t rows = 0;
    return folder_.Get() != nullptr && !FAILED(folder_.Get()->GetContentsTable(0, contents)) && contents &&
           !FAILED(contents->GetRowCount(0, rows)) && rows > 0;
}

std::optional<std::vector<std::string>> MapiSourceFolder::ChildNames() const {
    std::unique_ptr<IMAPITable> hierarchy;
    if (folder_.Get() == nullptr || FAILED(folder_.Get()->GetHierarchyTable(0, hierarchy)) || !hierarchy) {
        return std::nullopt;
    }
    SPropTagArray columns{PR_DISPLAY_NAME_W};
    SRowSet rows;
    if (FAILED(HrQueryAllRows(*hierarchy, &columns, nullptr, nullptr, 0, rows))) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (const SRow& row : rows) {
        const SPropValue& name = row.lpProps.at(0);
        names.push_back(name.IsError() ? std::string() : name.AsText());
    }
    return names;
}
