#include "import/ItemBatch.h"

#include <unistd.h>

#include <fmt/format.h>

#include "import/ActingAccount.h"
#include "import/EngineSettings.h"
#include "runtime/Log.h"
#include "runtime/Text.h"
#include "tarvik/BatchRequest.h"
#include "tarvik/DumpFiles.h"
#include "tarvik/TarvikException.h"
#include "tarvik/TarvikFaults.h"

namespace {

// The server refusing an empty contact: a warning, not an error. Servers write the reason with or
// without an "**Error**:" prefix.
constexpr std::string_view emptyContactFault = "invalid request: contact must have fields";
constexpr std::string_view errorPrefix = "**Error**:";

bool IsEmptyContactFault(std::string_view message) {
    if (message.starts_with(errorPrefix)) {
        message.remove_prefix(errorPrefix.size());
    }
    return message == emptyContactFault;
}

int32_t dumpCounter = 0;

constexpr int64_t ticksPerMillisecond = 10'000;

int64_t ResultOf(ItemKind kind, const Tarvik::Xml::Document& response, int64_t requestId) {
    using Tarvik::Mail::Mailbox;
    switch (kind) {
        case ItemKind::Mail:
            return Mailbox::GetAddMsgResult(response, requestId);
        case ItemKind::Contact:
            return Mailbox::GetCreateContactResult(response, requestId);
        case ItemKind::Appointment:
            return Mailbox::GetSetAppointmentResult(response, requestId);
        case ItemKind::Task:
            return Mailbox::GetSetTaskResult(response, requestId);
    }
    return -1;
}

void SaveDocument(const Tarvik::Xml::Document& document, const std::string& name, const char* announcement) {
    std::optional<std::string> path = Tarvik::Util::WorkDirectoryPath(name);
    if (path && Tarvik::Util::WriteDumpFile(*path, document.ToString())) {
        LogLine("%s %s", announcement, path->c_str());
    }
}

}  // namespace

BatchClock& ProcessBatchClock() {
    static BatchClock clock;
    return clock;
}

int32_t CurrentDumpNumber() {
    return dumpCounter;
}

ItemBatch::ItemBatch(Tarvik::Mail::Mailbox& mailbox, ImportParams& params, std::string accountName,
                     ProgressLog& progressLog, ImportStatistics& statistics, IFailedItemCopier& copier,
                     BatchClock& clock, std::optional<bool> noBatch)
    : mailbox_(mailbox),
      params_(params),
      accountName_(std::move(accountName)),
      progressLog_(progressLog),
      statistics_(statistics),
      copier_(copier),
      clock_(clock),
      noBatch_(noBatch ? *noBatch : NoBatchSetting()) {}

void ItemBatch::Begin() {
    mailbox_.StartBatch();
}

void ItemBatch::Add(PendingItem item, int32_t bytes) {
    pending_.push_back(std::move(item));
    byteSize_ += bytes;
}

void ItemBatch::FlushIfDue(bool force) {
    if (!force) {
        force = noBatch_;
        if (!force) {
            statistics_.itemsAttempted += 1;
            statistics_.itemsInCurrentBatch += 1;
        }
    }
    if (!clock_.lastFlush) {
        clock_.lastFlush = clock_.Now();
    }
    if (IsDue(force)) {
        Execute();
    }
}

bool ItemBatch::IsDue(bool force) const {
    return clock_.Now() - *clock_.lastFlush > limits_.maxAge || byteSize_ > limits_.maxBytes ||
           static_cast<int32_t>(pending_.size()) > limits_.maxPending ||
           (force && (byteSize_ > 0 || !pending_.empty()));
}

void ItemBatch::Execute() {
    statistics_.batches += 1;
    LogLine("(MI): Executing batch request");
    FileTimeTicks started = clock_.Now();

    std::optional<Tarvik::Xml::Document> response = SendBatch();
    FileTimeTicks elapsed = clock_.Now() - started;
    LogLine("(MI): Got response (%d ms)", static_cast<int>(elapsed / ticksPerMillisecond));

    if (!response) {
        for (const PendingItem& item : pending_) {
            copier_.CopyFailedItem(item, dumpCounter);
            if (AtErrorLimit()) {
                break;
            }
        }
    } else {
        const Tarvik::Xml::Document& request = mailbox_.ExecutedBatch()->Document();
        if (Tarvik::Mail::Mailbox::HasFault(*response)) {
            LogLine("(MI): ERROR - error(s) detected in the server response");
            SaveDumps(request, *response);
        }
        for (const PendingItem& item : pending_) {
            Reconcile(item, request, *response);
            if (AtErrorLimit()) {
                break;
            }
        }
    }
    // Confirmed items become durable before anything else is sent: a crash from here on cannot
    // make the next run import them again.
    progressLog_.Commit();
    pending_.clear();
    DeleteUploadedCopies();
    mailbox_.StartBatch();

    statistics_.RecordBatch(elapsed, byteSize_);
    byteSize_ = 0;
    clock_.lastFlush = clock_.Now();

    if (AtErrorLimit()) {
        throw Tarvik::TarvikException(LookupText("ERR_TOO_MANYMP"), messageErrorLimitCode);
    }
}

std::optional<Tarvik::Xml::Document> ItemBatch::SendBatch() {
    try {
        try {
            return mailbox_.ExecuteBatchRequest(ActingAccount(params_, accountName_));
        } catch (const Tarvik::TarvikServiceException::AuthExpired&) {
            mailbox_.ReLogon();
            return mailbox_.ExecuteBatchRequest(ActingAccount(params_, accountName_));
        }
    } catch (const Tarvik::TarvikServiceException::AuthExpired&) {
        throw;
    } catch (const Tarvik::TarvikException& fault) {
        LogLine("**Error**: BatchRequest caused soap fault %s %s", fault.Code().c_str(),
                fault.Message().c_str());
        LogLine("(MI): %d items were not imported to the server", static_cast<int>(pending_.size()));
        if (params_.progress != nullptr) {
            params_.progress->ReportError(FormatText("ERR_BATCH_SOAPFAULT", fault.Code(), fault.Message(),
                                                     static_cast<int>(pending_.size())));
        }
        errorCount_ += 1;
        return std::nullopt;
    }
}

void ItemBatch::SaveDumps(const Tarvik::Xml::Document& request, const Tarvik::Xml::Document& response) {
    int32_t number = ++dumpCounter;
    SaveDocument(request, fmt::format("{}-request.xml", number),
                 "(MI): ERROR - The SOAP request  was logged to: ");
    SaveDocument(response, fmt::format("{}-response.xml", number),
                 "(MI): ERROR - The SOAP response was logged to: ");
}

void ItemBatch::Reconcile(const PendingItem& item, const Tarvik::Xml::Document& request,
                          const Tarvik::Xml::Document& response) {
    try {
        ResultOf(item.kind, response, item.requestId);
        progressLog_.Append(item.searchKey);
        errorCount_ = 0;
        return;
    } catch (const Tarvik::TarvikException& fault) {
        LogLine("(MI): Rid %lld failed: (%s) (%s)", static_cast<long long>(item.requestId),
                fault.Code().c_str(), fault.Message().c_str());
        copier_.CopyFailedItem(item, dumpCounter);
        SaveDumps(request, response);
        if (params_.messageLogging) {
            KeepUploadedCopy(item, request);
        }
        std::string requestId = std::to_string(item.requestId);
        if (IsEmptyContactFault(fault.Message())) {
            LogLine("**Warning**: Unable to add message %s: %s", requestId.c_str(), fault.Message().c_str());
            if (params_.progress != nullptr) {
                params_.progress->ReportWarning(FormatText("ERR_ADD_MSG", requestId, fault.Message()));
            }
        } else {
            if (params_.progress != nullptr) {
                params_.progress->ReportError(FormatText("ERR_ADD_MSG", requestId, fault.Message()));
            }
            errorCount_ += 1;
        }
    }
}

// Keeps the uploaded MIME copy of a failed message (or appointment attachment) past this batch.
void ItemBatch::KeepUploadedCopy(const PendingItem& item, const Tarvik::Xml::Document& request) {
    std::string_view attribute = Tarvik::Rpc::RequestIdAttribute();
    std::string xpath;
    if (item.kind == ItemKind::Mail) {
        xpath = fmt::format("//AddMsgRequest[@{}=\"{}\"]//m", attribute, item.requestId);
    } else if (item.kind == ItemKind::Appointment) {
        xpath = fmt::format("//SetAppointmentRequest[@{}=\"{}\"]//attach", attribute, item.requestId);
    } else {
        return;
    }
    std::optional<std::string> token = request.SelectSingleNode(xpath).Attribute("aid");
    if (!token) {
        return;
    }
    std::string name = Tarvik::Util::DumpFileName(*token);
    LogLine("Request Failed, uploaded file is saved as: %s/%s.eml", params_.workDirectory.c_str(),
            name.c_str());
    mailbox_.DumpedMessages.erase(name);
}

void ItemBatch::DeleteUploadedCopies() {
    for (const std::string& name : mailbox_.DumpedMessages) {
        if (std::optional<std::string> path = Tarvik::Util::WorkDirectoryPath(name + ".eml")) {
            unlink(path->c_str());
        }
    }
    mailbox_.DumpedMessages.clear();
}

bool ItemBatch::AtErrorLimit() const {
    return params_.errorThreshold > 0 && errorCount_ >= params_.errorThreshold;
}
