#include "import/MessageAdder.h"

#include "import/ActingAccount.h"
#include "import/EngineSettings.h"
#include "import/StagingFile.h"
#include "runtime/Log.h"
#include "runtime/Text.h"
#include "tarvik/MessageStream.h"

namespace {

constexpr uint32_t readFlag = 0x1;
constexpr uint32_t unsentFlag = 0x8;
constexpr uint32_t fromMeFlag = 0x20;
constexpr int32_t verbReplyToSender = 102;
constexpr int32_t verbReplyToAll = 103;
constexpr int32_t verbForward = 104;
constexpr int32_t flagStatusFlagged = 2;
constexpr int64_t noDate = -1;

// Deep enough for any real folder tree; stops a tree whose parents loop.
constexpr int maxFolderDepth = 1000;

}  // namespace

MessageAdder::MessageAdder(const FolderIdMap& folderIdMap, Tarvik::Mail::Mailbox& mailbox,
                           ImportParams& params, std::string accountName, std::string sourceName,
                           IFailedItemCopier& copier, IFolderParents& folders, BatchClock& clock,
                           std::optional<bool> noBatch)
    : folderIdMap_(folderIdMap),
      mailbox_(mailbox),
      params_(params),
      accountName_(std::move(accountName)),
      sourceName_(std::move(sourceName)),
      folders_(folders),
      statistics_(std::make_shared<ImportStatistics>()),
      tags_(mailbox, params, accountName_),
      batch_(mailbox, params, accountName_, progressLog_, *statistics_, copier, clock, noBatch) {
    statistics_->startTime = FileTimeNow();
    params_.statistics = statistics_;
}

MessageAdder::~MessageAdder() {
    progressLog_.Close();
}

void MessageAdder::OpenProgressLog(std::string_view salt, std::string_view sourceName) {
    progressLog_.OpenForImport(params_, salt, sourceName);
}

void MessageAdder::BeginBatch() {
    tags_.Fetch();
    batch_.Begin();
}

bool MessageAdder::ShouldImport(std::string_view searchKey) {
    if (progressLog_.ShouldImport(searchKey)) {
        return true;
    }
    statistics_->itemsSkipped += 1;
    return false;
}

int64_t MessageAdder::FolderIdOf(const std::string& folderEntryId) const {
    auto entry = folderIdMap_.find(folderEntryId);
    return entry == folderIdMap_.end() ? ServerFolder::None : entry->second;
}

void MessageAdder::AddMail(const MailItemFacts& item,
                           const std::function<std::unique_ptr<IMimeText>()>& convert) {
    int64_t folderId = FolderIdOf(item.folderEntryId);
    if ((!params_.importDeletedItems && folderId == ServerFolder::Trash) ||
        (!params_.importJunk && folderId == ServerFolder::Junk)) {
        return;
    }
    if (OverLimit(item.messageSize.value_or(0))) {
        Warn("(MI): **Warning** Message skipped, too large d(%s) fid(%03d) size(%u) max(%u)",
             "WARN_MSG_TOOLARGE", item, folderId, item.messageSize.value_or(0));
        return;
    }
    std::unique_ptr<IMimeText> mime = convert();
    LogLine("FolderName: %s Subject: %s FolderID: %lld", item.folderName.c_str(), item.subject.c_str(),
            static_cast<long long>(folderId));
    uint64_t mimeSize = mime->Size();
    if (OverLimit(mimeSize)) {
        Warn(
            "(MI): **Warning** Message skipped, MIME representation too large d(%s) fid(%03d) size(%u) "
            "max(%u)",
            "WARN_MSG_MIMETOOLARGE", item, folderId, mimeSize);
        return;
    }
    bool sent = IsSent(item.folderEntryId, folderId);
    std::string flags = FlagLetters(item, sent);
    Tarvik::Rpc::TagIds tagIds = tags_.Resolve(item.categories);

    std::unique_ptr<StagingFile> staging = StagingFile::Create();
    uint64_t written = 0;
    if (staging) {
        try {
            written = mime->WriteTo(staging->Stream());
        } catch (const std::ios_base::failure&) {
            staging.reset();
        }
    }
    if (!staging || !staging->Flush()) {
        LogLine("**Error**: Unable to add message d(%s) fid(%03lld), Could not create MIME for message ",
                item.subject.c_str(), static_cast<long long>(folderId));
        if (params_.progress != nullptr) {
            params_.progress->ReportError(FormatText("ERR_ADD_MSGMIME", item.subject, folderId));
        }
        return;
    }

    LogLine("(MI): Batch Adding Message d(%s) fid(%03lld)", item.subject.c_str(),
            static_cast<long long>(folderId));
    std::optional<int64_t> date = sent ? item.submitTime : item.deliveryTime;
    // An item lacking its own date keeps the nearest one it has rather than arriving dated 1601.
    date = date ? date : (sent ? item.deliveryTime : item.submitTime);
    date = date ? date : item.creationTime;
    Tarvik::Mail::FileMessageStream stream(staging->Descriptor());
    int64_t requestId =
        mailbox_.AddMessage(stream, folderId, flags, tagIds, static_cast<uint64_t>(date.value_or(noDate)),
                            ActingAccount(params_, accountName_));
    batch_.Add({requestId, ItemKind::Mail, item.entryId, item.searchKey}, static_cast<int32_t>(written));
    LogLine("(MI): Batch Added Message rid(%s)", std::to_string(requestId).c_str());
    staging.reset();
    batch_.FlushIfDue(false);
}

void MessageAdder::Finish() {
    batch_.FlushIfDue(true);
    statistics_->endTime = FileTimeNow();
    LogItemPassStatistics(*statistics_, sourceName_, accountName_);
    tags_.Release();
}

bool MessageAdder::OverLimit(uint64_t size) const {
    uint32_t limit = GetEngineSettings().itemSizeLimit;
    return limit != 0 && static_cast<uint32_t>(size) > limit;
}

void MessageAdder::Warn(const char* logFormat, const char* key, const MailItemFacts& item, int64_t folderId,
                        uint64_t size) {
    LogLine(logFormat, item.subject.c_str(), static_cast<int>(folderId), static_cast<uint32_t>(size),
            GetEngineSettings().itemSizeLimit);
    if (params_.progress != nullptr) {
        params_.progress->ReportWarning(FormatText(key, item.subject, folderId));
    }
}

// Mail in the sent-items folder, or in any folder below it, was sent by the user.
bool MessageAdder::IsSent(const std::string& folderEntryId, int64_t folderId) {
    std::string current = folderEntryId;
    for (int depth = 0; depth < maxFolderDepth; ++depth) {
        if (folderId == params_.rootItemsFolderId) {
            return false;
        }
        if (folderId == ServerFolder::Sent) {
            return true;
        }
        std::optional<std::string> parent = folders_.ParentOf(current);
        if (!parent || *parent == current) {
            return false;
        }
        auto mapped = folderIdMap_.find(*parent);
        if (mapped != folderIdMap_.end()) {
            folderId = mapped->second;
        }
        current = *parent;
    }
    return false;
}

std::string MessageAdder::FlagLetters(const MailItemFacts& item, bool sent) const {
    uint32_t flags = item.messageFlags.value_or(0);
    std::string letters;
    if (item.messageFlags && (flags & readFlag) == 0) {
        letters += 'u';
    }
    if ((flags & fromMeFlag) != 0 || sent) {
        letters += 's';
    }
    if (item.lastVerb == verbReplyToSender || item.lastVerb == verbReplyToAll) {
        letters += 'r';
    }
    if (item.lastVerb == verbForward) {
        letters += 'w';
    }
    if (item.flagStatus == flagStatusFlagged) {
        letters += 'f';
    }
    if ((flags & unsentFlag) != 0) {
        letters += 'd';
    }
    return letters;
}
