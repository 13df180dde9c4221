#include "mapi/MapiTableIterator.h"

#include <strings.h>

#include "mapi/SourceErrors.h"
#include "mapi/platform/PropTags.h"
#include "runtime/ImportParams.h"
#include "runtime/Log.h"
#include "runtime/Text.h"

namespace Tarvik::MAPI {

namespace {

void LogFailure(const char* what, HRESULT hr, int line) {
    LogLine("HRException-%s[hr:0x%x] file:%s(Ln:%d)", what, static_cast<unsigned>(hr), kObjectsUnit, line);
}

void ReportSkippedRows(uint32_t asked, uint32_t got, HRESULT hr) {
    LogLine("**Warning**: %u Table Rows Requested, Got just %u, hr = %d", asked, got, hr);
    if (IImportProgress* progress = GetImportParams().progress) {
        progress->ReportWarning(FormatText("WARN_COULD_NOT_RETRIEVE", asked - got));
    }
}

}  // namespace

bool MapiTableIterator::IsContactsFolder() const {
    SPropValue containerClass;
    return parent_ != nullptr && SUCCEEDED(HrGetOneProp(*parent_, PR_CONTAINER_CLASS_W, containerClass)) &&
           strcasecmp(containerClass.AsText().c_str(), "IPF.Contact") == 0;
}

// Columns, restriction and sort order; false when one of them failed (logged).
bool MapiTableIterator::SetUp() {
    ImportParams& job = GetImportParams();
    while (true) {
        bool ok = true;
        HRESULT hr = table_->SetColumns(Columns(), 0);
        if (FAILED(hr)) {
            LogFailure("", hr, __LINE__);
            ok = false;
        }
        auto restriction = Restriction(false);
        if (restriction && !job.restrictionsDisabled) {
            restriction = Restriction(IsContactsFolder());
            hr = table_->Restrict(&*restriction, 0);
            if (FAILED(hr)) {
                LogLine("HRException- Restrict() failed. [hr:0x%x], file:%s(Ln:%d)",
                        static_cast<unsigned>(hr), kObjectsUnit, __LINE__);
                LogLine("No restrictions would be applied now.");
                // The provider cannot restrict: every later folder goes unrestricted too.
                job.restrictionsDisabled = true;
                table_.reset();
                if (parent_ == nullptr || FAILED(parent_->GetContentsTable(MAPI_UNICODE, table_))) {
                    return false;
                }
                continue;
            }
        }
        if (const SSortOrderSet* sort = SortOrder()) {
            hr = table_->SortTable(*sort, 0);
            if (FAILED(hr)) {
                LogLine("HRException- SortTable() failed. [hr:0x%x], file:%s(Ln:%d)",
                        static_cast<unsigned>(hr), kObjectsUnit, __LINE__);
                ok = false;
            }
        }
        return ok;
    }
}

void MapiTableIterator::Init(std::unique_ptr<IMAPITable> table, IMAPIFolder* parent) {
    table_ = std::move(table);
    parent_ = parent;
    rows_.clear();
    cursor_ = 0;
    position_ = 0;
    rowCount_ = 0;
    if (!table_) {
        return;
    }
    bool ok = SetUp();
    if (ok && table_) {
        HRESULT hr = table_->GetRowCount(0, rowCount_);
        if (FAILED(hr)) {
            LogLine("HRException-GetRowCount() failed. [hr:0x%x], file:%s(Ln:%d)", static_cast<unsigned>(hr),
                    kObjectsUnit, __LINE__);
            ok = false;
        }
    }
    HRESULT hr = table_ ? table_->QueryRows(kBatchSize, 0, rows_) : E_FAIL;
    if (FAILED(hr)) {
        LogLine("HRException-QueryRows() failed. [hr:0x%x], file:%s(Ln:%d)", static_cast<unsigned>(hr),
                kObjectsUnit, __LINE__);
    }
    if (FAILED(hr) || !ok) {
        rowCount_ = 0;
        LogLine("Some of the items may get skipped.");
    }
}

void MapiTableIterator::QueryBatch(uint32_t asked) {
    HRESULT hr = table_->QueryRows(static_cast<int32_t>(asked), 0, rows_);
    if (FAILED(hr)) {
        TVK_THROW_HR(hr);
    }
    uint32_t got = static_cast<uint32_t>(rows_.size());
    if (got < asked) {
        ReportSkippedRows(asked, got, hr);
        // The missing rows count as consumed, so the walk never asks beyond the table's end.
        if (asked < kBatchSize) {
            position_ = rowCount_ - got;
        } else {
            position_ += asked - got;
        }
    }
    cursor_ = 0;
}

const SRow* MapiTableIterator::NextRow() {
    if (rowCount_ == 0) {
        return nullptr;
    }
    if (cursor_ >= rows_.size()) {
        if (position_ >= rowCount_) {
            return nullptr;
        }
        rows_.clear();
        uint32_t remaining = rowCount_ - position_;
        QueryBatch(remaining < kBatchSize ? remaining : kBatchSize);
    }
    if (cursor_ >= rows_.size()) {
        return nullptr;
    }
    ++position_;
    return &rows_[cursor_++];
}

}  // namespace Tarvik::MAPI
