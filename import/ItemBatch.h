#pragma once
// The current batch of add requests and its reconciliation. The item adder queues each converted
// item's request in the Mailbox's batch and hands its pending record here; FlushIfDue sends the
// batch when it is full or old enough, then matches every pending record with its result by request
// id: confirmed items go to the progress log (committed to disk once per batch), failed ones are
// reported, counted against the error limit and copied for diagnosis, with the request and response.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "import/ImportStatistics.h"
#include "import/ProgressLog.h"
#include "runtime/ImportParams.h"
#include "tarvik/Mailbox.h"

namespace Tarvik::Xml {
class Document;
}

enum class ItemKind : int32_t { Mail = 0, Contact = 1, Appointment = 2, Task = 3 };

// One request queued in the current batch.
struct PendingItem {
    int64_t requestId = -1;
    ItemKind kind = ItemKind::Mail;
    std::string entryId;    // bytes
    std::string searchKey;  // bytes: the progress-log key
};

// Writes the copy of an item whose request (or whole batch) failed, named after the dump number.
class IFailedItemCopier {
  public:
    virtual ~IFailedItemCopier() = default;
    virtual void CopyFailedItem(const PendingItem& item, int32_t dumpNumber) = 0;
};

// When the last batch was sent. One per process, so a new attempt's first batch is timed from the
// last batch of the one before; tests give their own clock.
class BatchClock {
  public:
    virtual ~BatchClock() = default;
    virtual FileTimeTicks Now() const { return FileTimeNow(); }
    std::optional<FileTimeTicks> lastFlush;
};
BatchClock& ProcessBatchClock();

// The process-wide number of the last request/response dump; message copies share it.
int32_t CurrentDumpNumber();

// The fault code of the message-processing error limit.
inline constexpr const char* messageErrorLimitCode = "error_threshold_reached";

class ItemBatch {
  public:
    struct Limits {
        int32_t maxPending = 32;               // a further request makes the batch due
        int32_t maxBytes = 65536;              // more MIME bytes than this make it due
        FileTimeTicks maxAge = 3'024'000'000;  // 302.4 seconds since the last execution
    };

    // `noBatch` sends every item on its own; by default the user's "nobatch" setting.
    ItemBatch(Tarvik::Mail::Mailbox& mailbox, ImportParams& params, std::string accountName,
              ProgressLog& progressLog, ImportStatistics& statistics, IFailedItemCopier& copier,
              BatchClock& clock = ProcessBatchClock(), std::optional<bool> noBatch = std::nullopt);

    // Starts batch mode with an empty batch.
    void Begin();

    // Records an item whose request is in the batch and whose `bytes` of MIME text were uploaded.
    void Add(PendingItem item, int32_t bytes);

    // Sends the batch when it is due (or, with `force`, when it holds anything), reconciles it and
    // starts the next one. Throws Tarvik::TarvikException with messageErrorLimitCode when the
    // failures since the last confirmed item reach params.errorThreshold; a transport failure or a
    // second session expiry leaves as it came.
    void FlushIfDue(bool force);

    int32_t ErrorCount() const { return errorCount_; }
    size_t PendingCount() const { return pending_.size(); }
    int32_t ByteSize() const { return byteSize_; }

  private:
    bool IsDue(bool force) const;
    void Execute();
    std::optional<Tarvik::Xml::Document> SendBatch();
    void SaveDumps(const Tarvik::Xml::Document& request, const Tarvik::Xml::Document& response);
    void Reconcile(const PendingItem& item, const Tarvik::Xml::Document& request,
                   const Tarvik::Xml::Document& response);
    void KeepUploadedCopy(const PendingItem& item, const Tarvik::Xml::Document& request);
    void DeleteUploadedCopies();
    bool AtErrorLimit() const;

    Tarvik::Mail::Mailbox& mailbox_;
    ImportParams& params_;
    std::string accountName_;
    ProgressLog& progressLog_;
    ImportStatistics& statistics_;
    IFailedItemCopier& copier_;
    BatchClock& clock_;
    bool noBatch_;
    Limits limits_;
    std::vector<PendingItem> pending_;
    int32_t byteSize_ = 0;
    int32_t errorCount_ = 0;
};
