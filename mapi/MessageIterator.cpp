#include "mapi/MessageIterator.h"

#include "mapi/SourceErrors.h"
#include "mapi/platform/PropTags.h"
#include "runtime/Log.h"

namespace Tarvik::MAPI {

namespace {

SRestriction ClassTerm(uint32_t match, const char* text) {
    return SRestriction::Content(match | FL_IGNORECASE, PR_MESSAGE_CLASS_W,
                                 SPropValue::Text(PR_MESSAGE_CLASS_W, text));
}

SRestriction KindCondition(const ImportParams& job) {
    std::vector<SRestriction> terms;
    if (job.importMails) {
        terms.push_back(ClassTerm(FL_SUBSTRING, "ipm.note"));
        terms.push_back(ClassTerm(FL_FULLSTRING, "ipm"));
        terms.push_back(ClassTerm(FL_FULLSTRING, "ipm.post"));
    }
    if (job.importContacts) {
        terms.push_back(ClassTerm(FL_SUBSTRING, "ipm.contact"));
        terms.push_back(ClassTerm(FL_SUBSTRING, "ipm.distlist"));
    }
    if (job.importTasks) {
        terms.push_back(ClassTerm(FL_SUBSTRING, "ipm.task"));
    }
    if (job.importCalendar) {
        terms.push_back(ClassTerm(FL_SUBSTRING, "ipm.appointment"));
        terms.push_back(ClassTerm(FL_SUBSTRING, "ipm.schedule"));
    }
    return SRestriction::Or(std::move(terms));
}

SRestriction OnOrAfter(uint32_t tag, uint64_t date) {
    return SRestriction::Property(RELOP_GE, tag, SPropValue::Int64(tag, static_cast<int64_t>(date)));
}

SRestriction DateCondition(uint64_t date) {
    return SRestriction::Or(
        {SRestriction::And(
             {SRestriction::Exist(PR_CLIENT_SUBMIT_TIME), OnOrAfter(PR_CLIENT_SUBMIT_TIME, date)}),
         SRestriction::And({SRestriction::Not(SRestriction::Exist(PR_CLIENT_SUBMIT_TIME)),
                            SRestriction::Exist(PR_CREATION_TIME), OnOrAfter(PR_CREATION_TIME, date)})});
}

SRestriction CompletelyDownloaded(uint32_t markerTag) {
    return SRestriction::Or(
        {SRestriction::Not(SRestriction::Exist(markerTag)),
         SRestriction::And({SRestriction::Exist(markerTag),
                            SRestriction::Property(RELOP_EQ, markerTag, SPropValue::Long(markerTag, 0))})});
}

}  // namespace

SRestriction BuildMessageRestriction(const ImportParams& job, bool isContactsFolder) {
    // Without the marker's tag (the store does not know it) the condition cannot be tested.
    bool skipPartial =
        job.skipPartialMessages && job.partialDownloadPropTag != PR_NULL && job.partialDownloadPropTag != 0;
    std::vector<SRestriction> terms;
    if (job.dateFilterEnabled && !isContactsFolder) {
        terms.push_back(DateCondition(job.startDate));
    } else if (!skipPartial) {
        return KindCondition(job);
    }
    terms.push_back(KindCondition(job));
    if (skipPartial) {
        terms.push_back(CompletelyDownloaded(job.partialDownloadPropTag));
    }
    return SRestriction::And(std::move(terms));
}

SPropTagArray MessageIterator::Columns() const {
    return {PR_ENTRYID, PR_CLIENT_SUBMIT_TIME, PR_SEARCH_KEY};
}

const SSortOrderSet* MessageIterator::SortOrder() const {
    static const SSortOrderSet byDeliveryTime{{{PR_MESSAGE_DELIVERY_TIME, TABLE_SORT_ASCEND}}, 0, 0};
    return &byDeliveryTime;
}

std::optional<SRestriction> MessageIterator::Restriction(bool isContactsFolder) const {
    return BuildMessageRestriction(GetImportParams(), isContactsFolder);
}

bool MessageIterator::GetNext(Message& message) {
    const SRow* row = NextRow();
    if (row == nullptr) {
        message.Clear();
        return false;
    }
    const SPropValue& entryId = row->lpProps[0];
    uint32_t type = 0;
    std::unique_ptr<IMAPIProp> object;
    HRESULT hr = entryId.IsError() ? entryId.ErrorCode()
                                   : Parent()->OpenEntry(entryId.AsBinary(), MAPI_BEST_ACCESS, type, object);
    std::unique_ptr<IMessage> opened = SUCCEEDED(hr) ? As<IMessage>(std::move(object)) : nullptr;
    if (!opened) {
        TVK_THROW_HR(FAILED(hr) ? hr : MAPI_E_INVALID_OBJECT);
    }
    message.Init(std::move(opened));
    return true;
}

bool MessageIterator::GetNextIds(EntryId& entryId, uint64_t& submitTime, std::string& searchKey) {
    const SRow* row = NextRow();
    if (row == nullptr) {
        return false;
    }
    const auto& values = row->lpProps;
    entryId = values[0].IsError() ? EntryId() : values[0].AsBinary();
    submitTime = values[1].IsError() ? 0 : values[1].AsFileTime();
    if (values[2].IsError()) {
        searchKey.clear();
        LogLine("PR_SEARCH_KEY error");
    } else {
        searchKey = values[2].AsBinary();
    }
    return true;
}

}  // namespace Tarvik::MAPI
