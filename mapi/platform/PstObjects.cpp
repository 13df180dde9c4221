#include "mapi/platform/PstObjects.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "mapi/platform/ObjectRows.h"
#include "mapi/platform/PropTags.h"
#include "mapi/platform/PstStream.h"
#include "pst/NodeIds.h"
#include "runtime/Log.h"

namespace mapipst {

namespace {

constexpr uint32_t MAPI_ASSOCIATED = 0x40;
constexpr size_t kPstEntryIdSize = 24;

std::unique_ptr<IMAPITable> MakeTable(std::unique_ptr<RowSource> rows) {
    return std::make_unique<Table>(std::move(rows));
}

std::unique_ptr<IMAPITable> EmptyTable(const std::string& name) {
    return MakeTable(std::make_unique<MemoryRows>(SRowSet{}, name));
}

}  // namespace

bool SameEntry(const EntryId& a, const EntryId& b) {
    if (a.size() == kPstEntryIdSize && b.size() == kPstEntryIdSize) {
        return a.compare(4, std::string::npos, b, 4, std::string::npos) == 0;
    }
    return a == b;
}

HRESULT OpenPstStore(const std::string& path, const EntryId& storeEntryId,
                     std::unique_ptr<IMsgStore>& store) {
    std::unique_ptr<pst::PstFile> file;
    if (access(path.c_str(), R_OK) != 0) {
        LogLine("**Error**: the PST file %s cannot be opened: %s", path.c_str(), strerror(errno));
        return MAPI_E_NOT_FOUND;
    }
    try {
        file = std::make_unique<pst::PstFile>(path);
    } catch (const pst::Error& error) {
        LogLine("**Error**: the PST file %s cannot be read: %s", path.c_str(), error.what());
        return MAPI_E_CORRUPT_STORE;
    } catch (const std::exception& error) {
        LogLine("**Error**: the PST file %s cannot be opened: %s", path.c_str(), error.what());
        return MAPI_E_NOT_FOUND;
    }
    store = std::make_unique<PstStore>(std::make_shared<StoreContext>(std::move(file), storeEntryId));
    return S_OK;
}

HRESULT OpenStoreObject(const std::shared_ptr<StoreContext>& context, const EntryId& entryId,
                        uint32_t& objectType, std::unique_ptr<IMAPIProp>& object) {
    object.reset();
    auto nid = context->NidOf(entryId);
    if (!nid) {
        return MAPI_E_INVALID_ENTRYID;
    }
    uint8_t type = pst::NidTypeOf(*nid);
    bool folder = type == pst::NidType::NormalFolder || type == pst::NidType::SearchFolder;
    bool message = type == pst::NidType::NormalMessage || type == pst::NidType::AssociatedMessage;
    if (!folder && !message) {
        return MAPI_E_INVALID_ENTRYID;
    }
    try {
        if (!context->file->Exists(*nid)) {
            return MAPI_E_NOT_FOUND;
        }
        if (folder) {
            object = std::make_unique<PstFolder>(context, context->file->OpenFolder(*nid));
            objectType = MAPI_FOLDER;
        } else {
            object = std::make_unique<PstMessage>(context, context->file->OpenMessage(*nid),
                                                  type == pst::NidType::NormalMessage);
            objectType = MAPI_MESSAGE;
        }
    } catch (const std::exception& error) {
        return ReportCorrupt(error, "opening an item");
    }
    return S_OK;
}

// ---- store ----

HRESULT PstStore::OpenEntry(const EntryId& entryId, uint32_t, uint32_t& objectType,
                            std::unique_ptr<IMAPIProp>& object) {
    return OpenStoreObject(Context(), entryId, objectType, object);
}

HRESULT PstStore::GetReceiveFolder(const std::string& messageClass, uint32_t, EntryId& entryId,
                                   std::string& explicitClass) {
    try {
        auto nid = Context()->file->ReceiveFolderNid(messageClass);
        if (!nid) {
            return MAPI_E_NOT_FOUND;
        }
        entryId = Context()->EntryIdOf(*nid);
        explicitClass = messageClass;
        return S_OK;
    } catch (const std::exception& error) {
        return ReportCorrupt(error, "reading the receive folder table");
    }
}

HRESULT PstStore::CompareEntryIDs(const EntryId& a, const EntryId& b, uint32_t, bool& equal) {
    equal = SameEntry(a, b);
    return S_OK;
}

std::vector<SPropValue> PstStore::ComputedValues() const {
    return {SPropValue::Binary(PR_ENTRYID, Context()->storeEntryId),
            SPropValue::Long(PR_OBJECT_TYPE, MAPI_STORE),
            SPropValue::Long(PR_STORE_SUPPORT_MASK, Context()->SupportMask())};
}

// ---- folders ----

PstFolder::PstFolder(std::shared_ptr<StoreContext> context, pst::Folder folder)
    : PropertyObject(std::move(context)), folder_(std::move(folder)) {}

HRESULT PstFolder::GetContentsTable(uint32_t flags, std::unique_ptr<IMAPITable>& table) {
    bool associated = (flags & MAPI_ASSOCIATED) != 0;
    try {
        auto contents = associated ? folder_.AssociatedContentsTable() : folder_.ContentsTable();
        if (!contents) {
            table = EmptyTable("contents of " + folder_.DisplayName());
            return folder_.IsSearchFolder() ? MAPI_E_NO_SUPPORT : S_OK;
        }
        table = MakeTable(std::make_unique<ObjectRows>(
            Context(), std::move(*contents), associated ? RowKind::AssociatedMessages : RowKind::Messages));
        return S_OK;
    } catch (const std::exception& error) {
        return ReportCorrupt(error, "opening a contents table");
    }
}

HRESULT PstFolder::GetHierarchyTable(uint32_t, std::unique_ptr<IMAPITable>& table) {
    try {
        auto hierarchy = folder_.HierarchyTable();
        if (!hierarchy) {
            table = EmptyTable("subfolders of " + folder_.DisplayName());
            return folder_.IsSearchFolder() ? MAPI_E_NO_SUPPORT : S_OK;
        }
        table = MakeTable(std::make_unique<ObjectRows>(Context(), std::move(*hierarchy), RowKind::Folders));
        return S_OK;
    } catch (const std::exception& error) {
        return ReportCorrupt(error, "opening a hierarchy table");
    }
}

HRESULT PstFolder::OpenEntry(const EntryId& entryId, uint32_t, uint32_t& objectType,
                             std::unique_ptr<IMAPIProp>& object) {
    return OpenStoreObject(Context(), entryId, objectType, object);
}

std::vector<SPropValue> PstFolder::ComputedValues() const {
    return {SPropValue::Binary(PR_ENTRYID, Context()->EntryIdOf(folder_.Nid())),
            SPropValue::Long(PR_OBJECT_TYPE, MAPI_FOLDER),
            SPropValue::Long(PR_FOLDER_FLAGS,
                             folder_.IsSearchFolder() ? 2 : static_cast<int32_t>(MDB_FOLDER_NORMAL))};
}

// ---- messages ----

PstMessage::PstMessage(std::shared_ptr<StoreContext> context, pst::Message message, bool topLevel)
    : PropertyObject(std::move(context)),
      message_(std::make_shared<pst::Message>(std::move(message))),
      topLevel_(topLevel) {}

HRESULT PstMessage::GetRecipientTable(uint32_t, std::unique_ptr<IMAPITable>& table) {
    try {
        auto recipients = message_->RecipientTable();
        table = recipients ? MakeTable(std::make_unique<ObjectRows>(Context(), std::move(*recipients),
                                                                    RowKind::Recipients, message_))
                           : EmptyTable("recipients");
        return S_OK;
    } catch (const std::exception& error) {
        return ReportCorrupt(error, "opening a recipient table");
    }
}

HRESULT PstMessage::GetAttachmentTable(uint32_t, std::unique_ptr<IMAPITable>& table) {
    try {
        auto attachments = message_->AttachmentTable();
        table = attachments ? MakeTable(std::make_unique<ObjectRows>(Context(), std::move(*attachments),
                                                                     RowKind::Attachments, message_))
                            : EmptyTable("attachments");
        return S_OK;
    } catch (const std::exception& error) {
        return ReportCorrupt(error, "opening an attachment table");
    }
}

HRESULT PstMessage::OpenAttach(uint32_t attachNum, uint32_t, std::unique_ptr<IAttach>& attach) {
    try {
        auto attachments = message_->AttachmentTable();
        if (!attachments || attachNum >= attachments->RowCount()) {
            return MAPI_E_NOT_FOUND;
        }
        attach = std::make_unique<PstAttach>(
            Context(), message_, message_->OpenAttachment(attachments->RowId(attachNum)), attachNum);
        return S_OK;
    } catch (const std::exception& error) {
        return ReportCorrupt(error, "opening an attachment");
    }
}

uint64_t PstMessage::StoredSize(const pst::PropertyContext::Entry& entry) const {
    try {
        return Properties().Size(entry);
    } catch (const std::exception&) {
        return 1;  // unreadable, not empty: reading the value reports it
    }
}

std::vector<SPropValue> PstMessage::ComputedValues() const {
    std::vector<SPropValue> values = {SPropValue::Long(PR_OBJECT_TYPE, MAPI_MESSAGE),
                                      SPropValue::Long(PR_STORE_SUPPORT_MASK, Context()->SupportMask())};
    if (!topLevel_) {
        return values;
    }
    values.push_back(SPropValue::Binary(PR_ENTRYID, Context()->EntryIdOf(message_->Nid())));
    // A message without a search key gets a stable one of its own: with an empty key, one
    // progress-log record would stand for every key-less item, and those would be skipped on resume.
    const auto* stored = Properties().Find(PROP_ID(PR_SEARCH_KEY));
    if (stored == nullptr || StoredSize(*stored) == 0) {
        values.push_back(SPropValue::Binary(PR_SEARCH_KEY, Context()->DerivedSearchKey(message_->Nid())));
    }
    return values;
}

// ---- attachments ----

PstAttach::PstAttach(std::shared_ptr<StoreContext> context, std::shared_ptr<pst::Message> message,
                     pst::Attachment attachment, uint32_t attachNum)
    : PropertyObject(std::move(context)),
      message_(std::move(message)),
      attachment_(std::move(attachment)),
      attachNum_(attachNum) {}

HRESULT PstAttach::OpenEmbeddedMessage(uint32_t, std::unique_ptr<IMessage>& message) {
    try {
        if (!attachment_.HasEmbeddedMessage()) {
            return MAPI_E_NOT_FOUND;
        }
        message = std::make_unique<PstMessage>(Context(), attachment_.OpenEmbeddedMessage(), false);
        return S_OK;
    } catch (const std::exception& error) {
        return ReportCorrupt(error, "opening an embedded message");
    }
}

HRESULT PstAttach::OpenProperty(uint32_t tag, uint32_t flags, std::unique_ptr<IStream>& stream) {
    if (PROP_ID(tag) != PROP_ID(PR_ATTACH_DATA_BIN) || PROP_TYPE(tag) == PT_OBJECT) {
        return PropertyObject::OpenProperty(tag, flags, stream);
    }
    try {
        auto data = attachment_.OpenData();
        if (!data) {
            return MAPI_E_NOT_FOUND;
        }
        stream = std::make_unique<PstStream>(std::move(data));
        return S_OK;
    } catch (const std::exception& error) {
        return ReportCorrupt(error, "opening attachment data");
    }
}

std::vector<SPropValue> PstAttach::ComputedValues() const {
    return {SPropValue::Long(PR_OBJECT_TYPE, MAPI_ATTACH),
            SPropValue::Long(PR_ATTACH_NUM, static_cast<int32_t>(attachNum_))};
}

}  // namespace mapipst
