#include "mapi/Store.h"

#include "mapi/SourceErrors.h"
#include "mapi/platform/PropTags.h"
#include "runtime/Log.h"
#include "tarvik/TarvikException.h"

namespace Tarvik::MAPI {

namespace {

constexpr size_t kAdditionalRenCount = 5;  // Conflicts, Sync Issues, Local / Server Failures, Junk E-mail

}  // namespace

Store::~Store() {
    try {
        Release();
    } catch (const std::exception& error) {
        LogLine("Store destrcutor exception: %s", error.what());
    } catch (...) {
        LogLine("Unknown Store destructor exception");
    }
}

void Store::Release() {
    store_.reset();
    session_ = nullptr;
    specialFolders_ = {};
}

void Store::Init(std::unique_ptr<IMsgStore> store, IMAPISession* session) {
    Release();
    store_ = std::move(store);
    session_ = session;
    if (store_) {
        FindSpecialFolders();
    }
}

void Store::FindSpecialFolders() {
    auto take = [&](const SPropValue& value, int index) {
        if (!value.IsError()) {
            specialFolders_[index] = value.AsBinary();
        }
    };
    std::vector<SPropValue> values;
    HRESULT hr = store_->GetProps(
        {PR_IPM_SUBTREE_ENTRYID, PR_IPM_OUTBOX_ENTRYID, PR_IPM_SENTMAIL_ENTRYID, PR_IPM_WASTEBASKET_ENTRYID},
        MAPI_UNICODE, values);
    if (FAILED(hr)) {
        return;
    }
    take(values[0], IpmSubtree);
    take(values[1], Outbox);
    take(values[2], SentItems);
    take(values[3], DeletedItems);

    std::string explicitClass;
    if (FAILED(store_->GetReceiveFolder("", 0, specialFolders_[Inbox], explicitClass))) {
        specialFolders_[Inbox].clear();
        return;
    }
    uint32_t type = 0;
    std::unique_ptr<IMAPIProp> inbox;
    if (FAILED(store_->OpenEntry(specialFolders_[Inbox], MAPI_DEFERRED_ERRORS, type, inbox))) {
        return;
    }
    hr = inbox->GetProps(
        {PR_IPM_APPOINTMENT_ENTRYID, PR_IPM_CONTACT_ENTRYID, PR_IPM_DRAFTS_ENTRYID, PR_IPM_JOURNAL_ENTRYID,
         PR_IPM_NOTE_ENTRYID, PR_IPM_TASK_ENTRYID, PR_ADDITIONAL_REN_ENTRYIDS},
        MAPI_UNICODE, values);
    if (FAILED(hr)) {
        return;
    }
    const int inboxEntries[] = {Calendar, Contacts, Drafts, Journal, Notes, Tasks};
    for (size_t i = 0; i < std::size(inboxEntries); ++i) {
        take(values[i], inboxEntries[i]);
    }
    if (!values[6].IsError()) {
        const auto& additional = values[6].AsBinaryList();
        for (size_t i = 0; i < kAdditionalRenCount && i < additional.size(); ++i) {
            specialFolders_[Conflicts + i] = additional[i];
        }
    }
}

HRESULT Store::OpenRootFolder(Folder& folder) {
    if (!store_) {
        throw FolderNotFoundException(E_FAIL, kObjectsUnit, __LINE__);
    }
    std::vector<SPropValue> values;
    HRESULT hr = store_->GetProps({PR_IPM_SUBTREE_ENTRYID}, MAPI_UNICODE, values);
    if (hr == MAPI_W_ERRORS_RETURNED && values[0].ErrorCode() == MAPI_E_NOT_FOUND) {
        throw FolderNotFoundException(MAPI_E_NOT_FOUND, kObjectsUnit, __LINE__);
    }
    if (hr != S_OK) {
        throw FolderNotFoundException(E_FAIL, kObjectsUnit, __LINE__);
    }
    EntryId entryId = values[0].AsBinary();
    uint32_t type = 0;
    std::unique_ptr<IMAPIProp> object;
    hr = store_->OpenEntry(entryId, MAPI_BEST_ACCESS, type, object);
    std::unique_ptr<IMAPIFolder> root = SUCCEEDED(hr) ? As<IMAPIFolder>(std::move(object)) : nullptr;
    if (!root) {
        hr = FAILED(hr) ? hr : MAPI_E_INVALID_OBJECT;
        LogLine("Com Exception hr(0x%x): %s", static_cast<unsigned>(hr), "the IPM subtree cannot be opened");
        throw Tarvik::TarvikException("Could not open IPM Subtree.Check Profile Privileges.",
                                      "COM Exception");
    }
    folder = Folder(std::move(root), "/", entryId);
    return S_OK;
}

int Store::SpecialFolderIndex(const EntryId& entryId) const {
    for (int i = 0; i < kSpecialFolderCount; ++i) {
        bool equal = false;
        if (!specialFolders_[i].empty() && session_ != nullptr &&
            SUCCEEDED(session_->CompareEntryIDs(entryId, specialFolders_[i], 0, equal)) && equal) {
            return i;
        }
    }
    return kNotSpecialFolder;
}

}  // namespace Tarvik::MAPI
