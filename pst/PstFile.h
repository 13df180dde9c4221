#pragma once
// An open PST (or OST) file: the entry point of the reader.
//
//   pst::PstFile file("mail.pst");                      // read-only; throws pst::Error
//   file.GetHeader().format / .encryption              // header facts
//   file.PasswordCrc()                                  // set when the store is password-protected
//   const auto& store = file.StoreProperties();         // the message store's properties
//   pst::Folder root = file.OpenFolder(file.RootFolderNid());
//   for (size_t i = 0; i < table.RowCount(); ++i) table.ReadRow(i) ...   // hierarchy / contents rows
//   pst::Message m = file.OpenMessage(row.rowId);
//
// Entry ids are 24 bytes: four zero flag bytes, the store's 16-byte record key and the NID.
// Objects opened from a PstFile refer to it and must not outlive it. One thread at a time may use
// a PstFile and everything opened from it (the block cache is not locked); open the file once per
// thread to read in parallel.
//
// Errors are pst::Error naming the file and, where one is involved, the node.

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "pst/Folder.h"
#include "pst/Message.h"
#include "pst/NameMap.h"
#include "pst/NodeDatabase.h"
#include "pst/NodeIds.h"

namespace pst {

struct OpenOptions {
    size_t cacheBytes = 8 << 20;  // decoded blocks and pages kept in memory
    bool verifyChecksums = true;  // false only for fuzzing (see NodeDatabase)
};

class PstFile {
  public:
    explicit PstFile(const std::string& path, OpenOptions options = {});

    const std::string& Path() const { return db_->Path(); }
    const Header& GetHeader() const { return db_->GetHeader(); }
    NodeDatabase& Database() { return *db_; }

    const PropertyContext& StoreProperties() const { return *store_; }
    // The CRC-32 of the password when one is set (the password itself is not in the file). Never
    // set for an OST: they cannot have a password, whatever the property says.
    std::optional<uint32_t> PasswordCrc() const;
    // The store's code page for 8-bit strings (PR_MESSAGE_CODEPAGE of the store, else 1252).
    uint32_t Codepage() const;

    const NameMap& Names();

    const std::array<uint8_t, 16>& RecordKey() const { return recordKey_; }
    Bytes EntryIdOf(uint32_t nid) const;
    // The NID an entry id names, when it is an entry id of this store.
    std::optional<uint32_t> NidOfEntryId(ByteSpan entryId) const;

    uint32_t RootFolderNid() const { return Nid::RootFolder; }
    std::optional<uint32_t> IpmSubtreeNid() const;
    // The folder that receives messages of `messageClass` (the store's receive folder table, with
    // MAPI's fallback from "IPM.Note.X" to "IPM.Note", "IPM" and ""); nothing without that table.
    std::optional<uint32_t> ReceiveFolderNid(const std::string& messageClass = "");

    Folder OpenFolder(uint32_t nid);
    Message OpenMessage(uint32_t nid);
    bool Exists(uint32_t nid) { return db_->FindNode(nid).has_value(); }

  private:
    Node RequireNode(uint32_t nid);

    std::unique_ptr<NodeDatabase> db_;
    std::unique_ptr<PropertyContext> store_;
    std::unique_ptr<NameMap> names_;
    std::array<uint8_t, 16> recordKey_{};
};

}  // namespace pst
