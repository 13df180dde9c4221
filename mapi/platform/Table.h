#pragma once
// IMAPITable over any source of rows: columns, restriction, sort order, position and batches are
// handled here; the source only fetches the values of one row. Restriction and sort are applied
// when rows are first asked for, reading only the columns they test; afterwards only the rows'
// indexes and sort keys are kept, never whole rows.

#include <memory>
#include <optional>
#include <vector>

#include "mapi/platform/MapiInterfaces.h"

namespace mapipst {

class RowSource {
  public:
    virtual ~RowSource() = default;
    virtual size_t Count() const = 0;
    // The row's values for `tags`, in order; PT_ERROR values for what the row lacks. Throws when
    // the row cannot be read at all.
    virtual std::vector<SPropValue> Fetch(size_t index, const SPropTagArray& tags) = 0;
    // What the table shows before SetColumns.
    virtual SPropTagArray DefaultColumns() const = 0;
    // Names the table in log lines.
    virtual std::string Describe() const = 0;
};

// Rows held in memory (profile, service and store tables).
class MemoryRows : public RowSource {
  public:
    explicit MemoryRows(SRowSet rows, std::string name);
    size_t Count() const override { return rows_.size(); }
    std::vector<SPropValue> Fetch(size_t index, const SPropTagArray& tags) override;
    SPropTagArray DefaultColumns() const override;
    std::string Describe() const override { return name_; }

  private:
    SRowSet rows_;
    std::string name_;
};

class Table : public IMAPITable {
  public:
    explicit Table(std::unique_ptr<RowSource> source);

    HRESULT SetColumns(const SPropTagArray& columns, uint32_t flags) override;
    HRESULT Restrict(const SRestriction* restriction, uint32_t flags) override;
    HRESULT SortTable(const SSortOrderSet& sortOrder, uint32_t flags) override;
    HRESULT GetRowCount(uint32_t flags, uint32_t& count) override;
    HRESULT SeekRow(uint32_t bookmark, int32_t rowCount, int32_t* rowsSought) override;
    HRESULT QueryRows(int32_t rowCount, uint32_t flags, SRowSet& rows) override;

  private:
    size_t ViewSize();
    size_t SourceIndex(size_t viewIndex) const;
    void BuildView();

    std::unique_ptr<RowSource> source_;
    SPropTagArray columns_;
    std::optional<SRestriction> restriction_;
    std::optional<SSortOrderSet> sort_;
    std::optional<std::vector<size_t>> view_;  // source indexes in view order; none: all, as stored
    bool viewCurrent_ = true;
    size_t position_ = 0;
};

}  // namespace mapipst
