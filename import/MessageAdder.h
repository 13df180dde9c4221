#pragma once
// The item pass: decides for each source item whether it is still to be imported (progress log),
// turns a mail item into an upload and an add-message request in the current batch (folder, flag
// letters, tags from categories, date) and keeps the statistics of the pass. The source side hands
// it the facts of each item and a way to convert it, so that nothing here depends on how the item
// was read.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "import/FolderTreeReplicator.h"
#include "import/ImportStatistics.h"
#include "import/ItemBatch.h"
#include "import/ProgressLog.h"
#include "import/TagResolver.h"
#include "runtime/ImportParams.h"
#include "tarvik/Mailbox.h"

// What the adder reads of a mail item.
struct MailItemFacts {
    std::string entryId;    // bytes
    std::string searchKey;  // bytes
    std::string subject;
    std::string folderEntryId;
    std::string folderName;
    std::optional<uint32_t> messageSize;   // PR_MESSAGE_SIZE
    std::optional<uint32_t> messageFlags;  // PR_MESSAGE_FLAGS
    std::optional<int32_t> lastVerb;       // PR_LAST_VERB_EXECUTED
    std::optional<int32_t> flagStatus;     // PR_FLAG_STATUS
    std::optional<int64_t> submitTime;     // file times: PR_CLIENT_SUBMIT_TIME,
    std::optional<int64_t> deliveryTime;   // PR_MESSAGE_DELIVERY_TIME,
    std::optional<int64_t> creationTime;   // PR_CREATION_TIME
    std::vector<std::string> categories;   // the Keywords named property
};

// The converted MIME text of one item.
class IMimeText {
  public:
    virtual ~IMimeText() = default;
    virtual uint64_t Size() const = 0;
    // Writes the text; returns the bytes written. Throws std::ios_base::failure on a write error.
    virtual uint64_t WriteTo(std::ostream& out) const = 0;
};

// The source folder tree as the sent test climbs it.
class IFolderParents {
  public:
    virtual ~IFolderParents() = default;
    // The parent folder's entry id; nothing when it is not known.
    virtual std::optional<std::string> ParentOf(const std::string& folderEntryId) = 0;
};

// The parents as the folder walk met them (source folder entry id -> parent's entry id).
class FolderParentMap : public IFolderParents {
  public:
    void Record(const std::string& folder, const std::string& parent) { parents_[folder] = parent; }
    std::optional<std::string> ParentOf(const std::string& folderEntryId) override {
        auto entry = parents_.find(folderEntryId);
        return entry == parents_.end() ? std::nullopt : std::optional<std::string>(entry->second);
    }

  private:
    std::map<std::string, std::string> parents_;
};

class MessageAdder {
  public:
    // Stamps the start of the pass and publishes its statistics in params.statistics.
    MessageAdder(const FolderIdMap& folderIdMap, Tarvik::Mail::Mailbox& mailbox, ImportParams& params,
                 std::string accountName, std::string sourceName, IFailedItemCopier& copier,
                 IFolderParents& folders, BatchClock& clock = ProcessBatchClock(),
                 std::optional<bool> noBatch = std::nullopt);
    ~MessageAdder();
    MessageAdder(const MessageAdder&) = delete;
    MessageAdder& operator=(const MessageAdder&) = delete;

    void OpenProgressLog(std::string_view salt, std::string_view sourceName);
    // Reads the account's tags and starts the first batch.
    void BeginBatch();

    // False, counted as skipped, when the progress log records the item.
    bool ShouldImport(std::string_view searchKey);

    // Adds one mail item: checks the folder options and the size limit, converts it (convert() is
    // called only when the item is to be sent), uploads it and queues its request.
    void AddMail(const MailItemFacts& item, const std::function<std::unique_ptr<IMimeText>()>& convert);

    // Sends what is left, then logs the pass's statistics.
    void Finish();

    int64_t FolderIdOf(const std::string& folderEntryId) const;
    ItemBatch& Batch() { return batch_; }
    const ImportStatistics& Statistics() const { return *statistics_; }

  private:
    bool IsSent(const std::string& folderEntryId, int64_t folderId);
    std::string FlagLetters(const MailItemFacts& item, bool sent) const;
    bool OverLimit(uint64_t size) const;
    void Warn(const char* logFormat, const char* key, const MailItemFacts& item, int64_t folderId,
              uint64_t size);

    const FolderIdMap& folderIdMap_;
    Tarvik::Mail::Mailbox& mailbox_;
    ImportParams& params_;
    std::string accountName_;
    std::string sourceName_;
    IFolderParents& folders_;
    std::shared_ptr<ImportStatistics> statistics_;
    ProgressLog progressLog_;
    TagResolver tags_;
    ItemBatch batch_;
};
