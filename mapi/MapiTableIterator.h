#pragma once
// Walks a MAPI table in batches of 50 rows: the subfolders of a folder (FolderIterator) or its
// items (MessageIterator). Set-up failures never throw: they are logged and the walk yields fewer
// rows or none. Rows MAPI leaves out of a batch are skipped with a warning; a failing QueryRows
// throws HRException.

#include <cstdint>
#include <memory>
#include <optional>

#include "mapi/platform/MapiInterfaces.h"

namespace Tarvik::MAPI {

class MapiTableIterator {
  public:
    static constexpr uint32_t kBatchSize = 50;

    MapiTableIterator() = default;
    virtual ~MapiTableIterator() = default;
    MapiTableIterator(const MapiTableIterator&) = delete;
    MapiTableIterator& operator=(const MapiTableIterator&) = delete;

    // Binds the iterator to a table of `parent` (borrowed): columns, restriction (unless the job
    // disabled restrictions), sort order, row count and the first batch.
    void Init(std::unique_ptr<IMAPITable> table, IMAPIFolder* parent);

    // The next row, or nullptr at the end. The row stays valid until the next call.
    const SRow* NextRow();

    uint32_t RowCount() const { return rowCount_; }

  protected:
    virtual SPropTagArray Columns() const = 0;
    virtual const SSortOrderSet* SortOrder() const = 0;
    virtual std::optional<SRestriction> Restriction(bool isContactsFolder) const = 0;

    IMAPIFolder* Parent() const { return parent_; }

  private:
    bool SetUp();
    bool IsContactsFolder() const;
    void QueryBatch(uint32_t asked);

    std::unique_ptr<IMAPITable> table_;
    IMAPIFolder* parent_ = nullptr;
    SRowSet rows_;
    uint32_t cursor_ = 0;
    uint32_t position_ = 0;
    uint32_t rowCount_ = 0;
};

}  // namespace Tarvik::MAPI
