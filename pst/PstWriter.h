#pragma once
// Writes a new Unicode PST: the message store, the name-to-id map, the standard folders, any folder
// tree, and messages with any properties, recipients and attachments (by value or embedded
// messages, nested to any depth). Used by pstgen to build test fixtures and benchmark mailboxes.
//
//   pst::PstWriter w("out.pst", {});
//   uint32_t inbox = w.Special(pst::SpecialFolder::Inbox);
//   pst::MessageSpec m;
//   m.properties = {{pst::Tag::Subject, pst::TextValue("Hello")}};
//   w.AddMessage(inbox, m);
//   w.Finish();
//
// Messages are written when added; folders, tables, the store and the B-trees when Finish() runs.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pst/LtpWriter.h"
#include "pst/NameMap.h"

namespace pst {

struct AttachmentSpec;

struct MessageSpec {
    PropertyList properties;
    std::vector<PropertyList> recipients;
    std::vector<AttachmentSpec> attachments;
};

struct AttachmentSpec {
    PropertyList properties;                // PR_ATTACH_DATA_BIN for data by value
    std::shared_ptr<MessageSpec> embedded;  // set for an embedded message
};

enum class SpecialFolder {
    Root,
    IpmSubtree,
    SearchRoot,
    Inbox,
    Outbox,
    SentItems,
    DeletedItems,
    Drafts,
    JunkEmail,
    Calendar,
    Contacts,
    Tasks
};

struct WriterOptions {
    Format format = Format::Unicode;
    Encryption encryption = Encryption::Permute;
    std::string storeName = "Personal Folders";
    std::optional<uint32_t> passwordCrc;
    uint32_t seed = 1;                         // makes record keys and search keys reproducible
    int64_t defaultTime = 132223104000000000;  // 2020-01-01T00:00:00Z, for creation times
    bool padToInterval = true;                 // see NdbWriter
};

// Helpers for building values.
Value TextValue(const std::string& utf8);    // PT_UNICODE
Value LongValue(int32_t v);                  // PT_LONG
Value BoolValue(bool v);                     // PT_BOOLEAN
Value TimeValue(int64_t fileTime);           // PT_SYSTIME
Value BinaryValue(Bytes bytes);              // PT_BINARY
Value Int64Value(uint16_t type, int64_t v);  // PT_I8, PT_CURRENCY, PT_SYSTIME
Value DoubleValue(uint16_t type, double v);  // PT_DOUBLE, PT_FLOAT, PT_APPTIME

class PstWriter {
  public:
    PstWriter(const std::string& path, WriterOptions options);
    ~PstWriter();

    uint32_t Special(SpecialFolder folder) const { return special_.at(folder); }
    Bytes EntryIdOf(uint32_t nid) const;

    // The property id of a named property, registered on first use.
    uint16_t NamedId(const Guid& guid, uint32_t number);
    uint16_t NamedId(const Guid& guid, const std::string& name);

    // A folder under `parentNid`; `containerClass` may be empty. Search folders get a property
    // context only (no tables), as a reader must recognise and skip them.
    uint32_t AddFolder(uint32_t parentNid, const std::string& name, const std::string& containerClass,
                       const PropertyList& extra = {}, bool searchFolder = false);
    // A message (or an associated, hidden one) in a folder; returns its NID.
    uint32_t AddMessage(uint32_t folderNid, const MessageSpec& message, bool associated = false);

    void Finish();

  private:
    struct FolderRecord {
        uint32_t nid = 0;
        uint32_t parent = 0;
        std::string name;
        std::string containerClass;
        PropertyList extra;
        bool search = false;
        std::vector<uint32_t> children;
        std::vector<TableRowToWrite> contents;
        std::vector<TableRowToWrite> associated;
        uint32_t unread = 0;
    };

    FolderRecord& FolderAt(uint32_t nid);
    PropertyList CompleteMessage(const MessageSpec& spec, uint32_t nid) const;
    NodeContent WriteMessage(const MessageSpec& spec, const PropertyList& properties);
    SubnodeEntry WriteAttachment(const AttachmentSpec& spec, uint32_t nid, int index);
    void WriteFolder(const FolderRecord& folder);
    void WriteStore();
    void WriteNameMap();
    void WriteReceiveFolders();
    void WriteTemplates();
    void WriteNode(uint32_t nid, const NodeContent& content, uint32_t parent);
    void CreateStandardFolders();

    WriterOptions options_;
    std::unique_ptr<NdbWriter> ndb_;
    std::array<uint8_t, 16> recordKey_{};
    std::map<uint32_t, FolderRecord> folders_;
    std::map<SpecialFolder, uint32_t> special_;
    std::vector<NamedProperty> named_;
    uint32_t nextFolderIndex_ = 0x401;
    uint32_t nextSearchFolderIndex_ = 0x401;
    uint32_t nextMessageIndex_ = 0x10001;
    uint32_t nextAssociatedIndex_ = 0x8001;
    bool finished_ = false;
};

}  // namespace pst
