#pragma once
// The MAPI objects of one PST store: the store itself, its folders, messages (top-level and
// embedded) and attachments, each reading through the PST library and nothing else.

#include <memory>
#include <string>

#include "mapi/platform/MapiInterfaces.h"
#include "mapi/platform/PropertyObject.h"
#include "pst/Folder.h"
#include "pst/Message.h"

namespace mapipst {

// Opens the PST file at `path` as a store whose entry id is `storeEntryId`. MAPI_E_NOT_FOUND when
// the file cannot be opened, MAPI_E_CORRUPT_STORE when it is not a readable PST; both logged.
HRESULT OpenPstStore(const std::string& path, const EntryId& storeEntryId, std::unique_ptr<IMsgStore>& store);

// Opens a folder or message of the store by entry id.
HRESULT OpenStoreObject(const std::shared_ptr<StoreContext>& context, const EntryId& entryId,
                        uint32_t& objectType, std::unique_ptr<IMAPIProp>& object);

// Whether two entry ids name the same object: for entry ids of PST stores the same provider uid
// and node, whatever the flag bytes; otherwise the same bytes.
bool SameEntry(const EntryId& a, const EntryId& b);

class PstStore : public PropertyObject<IMsgStore> {
  public:
    explicit PstStore(std::shared_ptr<StoreContext> context) : PropertyObject(std::move(context)) {}

    HRESULT OpenEntry(const EntryId& entryId, uint32_t flags, uint32_t& objectType,
                      std::unique_ptr<IMAPIProp>& object) override;
    HRESULT GetReceiveFolder(const std::string& messageClass, uint32_t flags, EntryId& entryId,
                             std::string& explicitClass) override;
    HRESULT CompareEntryIDs(const EntryId& a, const EntryId& b, uint32_t flags, bool& equal) override;

  protected:
    const pst::PropertyContext& Properties() const override { return Context()->file->StoreProperties(); }
    std::vector<SPropValue> ComputedValues() const override;
};

class PstFolder : public PropertyObject<IMAPIFolder> {
  public:
    PstFolder(std::shared_ptr<StoreContext> context, pst::Folder folder);

    HRESULT GetContentsTable(uint32_t flags, std::unique_ptr<IMAPITable>& table) override;
    HRESULT GetHierarchyTable(uint32_t flags, std::unique_ptr<IMAPITable>& table) override;
    HRESULT OpenEntry(const EntryId& entryId, uint32_t flags, uint32_t& objectType,
                      std::unique_ptr<IMAPIProp>& object) override;

  protected:
    const pst::PropertyContext& Properties() const override { return folder_.Properties(); }
    std::vector<SPropValue> ComputedValues() const override;

  private:
    pst::Folder folder_;
};

class PstMessage : public PropertyObject<IMessage> {
  public:
    // A top-level message has an entry id and always a search key; an embedded one has neither.
    PstMessage(std::shared_ptr<StoreContext> context, pst::Message message, bool topLevel);

    HRESULT GetRecipientTable(uint32_t flags, std::unique_ptr<IMAPITable>& table) override;
    HRESULT GetAttachmentTable(uint32_t flags, std::unique_ptr<IMAPITable>& table) override;
    HRESULT OpenAttach(uint32_t attachNum, uint32_t flags, std::unique_ptr<IAttach>& attach) override;

  protected:
    const pst::PropertyContext& Properties() const override { return message_->Properties(); }
    std::vector<SPropValue> ComputedValues() const override;

  private:
    uint64_t StoredSize(const pst::PropertyContext::Entry& entry) const;

    std::shared_ptr<pst::Message> message_;
    bool topLevel_;
};

class PstAttach : public PropertyObject<IAttach> {
  public:
    PstAttach(std::shared_ptr<StoreContext> context, std::shared_ptr<pst::Message> message,
              pst::Attachment attachment, uint32_t attachNum);

    HRESULT OpenEmbeddedMessage(uint32_t flags, std::unique_ptr<IMessage>& message) override;
    // PR_ATTACH_DATA_BIN streams the attachment's data; for an OLE attachment that is its
    // compound file.
    HRESULT OpenProperty(uint32_t tag, uint32_t flags, std::unique_ptr<IStream>& stream) override;

  protected:
    const pst::PropertyContext& Properties() const override { return attachment_.Properties(); }
    std::vector<SPropValue> ComputedValues() const override;

  private:
    std::shared_ptr<pst::Message> message_;  // keeps the attachment's message open
    pst::Attachment attachment_;
    uint32_t attachNum_;
};

}  // namespace mapipst
