#pragma once
// A table stored in one node: column descriptions, a row index and a row matrix (in the heap or in
// a subnode). Rows are read one at a time when asked for, so a folder with 100,000 messages costs
// no more memory than one with ten.

#include <cstdint>
#include <optional>
#include <vector>

#include "pst/Heap.h"
#include "pst/Value.h"

namespace pst {

struct TableColumn {
    uint32_t tag;
    uint16_t offset;  // byte offset of the cell in a row
    uint8_t size;     // cell size: 1, 2, 4 or 8
    uint8_t bit;      // index in the cell-existence bitmap
};

struct TableRow {
    uint32_t rowId = 0;                              // the NID of the object the row describes
    std::vector<std::pair<uint32_t, Value>> values;  // present cells, in column order
    const Value* Find(uint32_t tag) const;
};

class TableContext {
  public:
    TableContext(NodeDatabase& db, const Node& node);

    uint32_t Nid() const { return node_.nid; }
    const std::vector<TableColumn>& Columns() const { return columns_; }
    const TableColumn* FindColumn(uint32_t tag) const;
    size_t RowCount() const { return rowCount_; }

    // Row `index` (0-based, matrix order). With `tags`, only those columns are read. A cell that
    // cannot be read becomes a PT_ERROR value (MAPI_E_CORRUPT_DATA); a row that cannot be read at
    // all throws pst::Error naming the table node and the row.
    TableRow ReadRow(size_t index, const std::vector<uint32_t>* tags = nullptr) const;
    uint32_t RowId(size_t index) const;

  private:
    struct RowBytes {
        std::shared_ptr<const Bytes> block;
        ByteSpan bytes;
    };
    RowBytes Row(size_t index) const;
    Value Cell(const TableColumn& column, ByteSpan row) const;

    NodeDatabase& db_;
    Node node_;
    Heap heap_;
    std::vector<TableColumn> columns_;
    size_t rowSize_ = 0;
    size_t bitmapOffset_ = 0;
    size_t rowCount_ = 0;
    // Where the rows live: one heap item, or a data tree whose blocks hold whole rows.
    std::optional<HeapItem> heapRows_;
    std::optional<DataTree> treeRows_;
    size_t rowsPerBlock_ = 0;
};

}  // namespace pst
