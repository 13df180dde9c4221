#include "pst/TableContext.h"

#include <algorithm>

#include <fmt/format.h>

namespace pst {

const Value* TableRow::Find(uint32_t tag) const {
    for (const auto& [t, v] : values) {
        if (t == tag) {
            return &v;
        }
    }
    return nullptr;
}

namespace {

// Types whose cells hold the value itself; every other cell holds an HNID.
constexpr uint64_t kCellLimit = 16 << 20;

bool InlineCell(uint16_t type) {
    size_t size = FixedSize(type);
    return size != 0 && size <= 8;
}

}  // namespace

TableContext::TableContext(NodeDatabase& db, const Node& node)
    : db_(db), node_(node), heap_(db, node.bidData) {
    if (heap_.ClientSignature() != Heap::kTableContext) {
        throw Error(
            fmt::format("not a table context (heap client signature 0x{:02x})", heap_.ClientSignature()))
            .AtNode(node.nid);
    }
    HeapItem info = heap_.Item(heap_.UserRoot());
    ByteSpan d = info.bytes;
    if (U8(d, 0, "table header") != Heap::kTableContext) {
        throw Error("table header has the wrong signature").AtNode(node.nid);
    }
    const size_t columnCount = U8(d, 1);
    const size_t end4 = U16(d, 2), end2 = U16(d, 4), end1 = U16(d, 6), endBitmap = U16(d, 8);
    const uint32_t hidRowIndex = U32(d, 10);
    const uint32_t hnidRows = U32(d, 14);
    if (!(end4 <= end2 && end2 <= end1 && end1 <= endBitmap) || endBitmap - end1 < (columnCount + 7) / 8) {
        throw Error("table header has inconsistent row layout offsets").AtNode(node.nid);
    }
    rowSize_ = endBitmap;
    bitmapOffset_ = end1;
    for (size_t i = 0; i < columnCount; ++i) {
        ByteSpan c = Slice(d, 22 + i * 8, 8, "table column descriptor");
        TableColumn col{U32(c, 0), U16(c, 4), c[6], c[7]};
        if (col.offset + col.size > end1 || col.bit >= columnCount ||
            (col.size != 1 && col.size != 2 && col.size != 4 && col.size != 8)) {
            throw Error(fmt::format("table column 0x{:08x} has an impossible cell ({} bytes at {}, bit {})",
                                    col.tag, col.size, col.offset, col.bit))
                .AtNode(node.nid);
        }
        // Some writers give cells more room than the type needs (a PT_LONG in 8 bytes); the value
        // is at the start of the cell.
        uint16_t type = TagType(col.tag);
        size_t needed = InlineCell(type) ? FixedSize(type) : 4;
        if (col.size < needed) {
            throw Error(fmt::format("table column 0x{:08x} has a {}-byte cell", col.tag, col.size))
                .AtNode(node.nid);
        }
        columns_.push_back(col);
    }
    size_t indexed = 0;
    if (hidRowIndex != 0) {
        BTreeOnHeap index(heap_, hidRowIndex);
        index.ForEach([&](uint64_t, ByteSpan) { ++indexed; });
    }
    uint64_t matrixRows = 0;
    if (hnidRows == 0 || rowSize_ == 0) {
        matrixRows = 0;
    } else if ((hnidRows & 0x1F) == 0) {
        heapRows_ = heap_.Item(hnidRows);
        matrixRows = heapRows_->bytes.size() / rowSize_;
    } else {
        auto sub = db.FindSubnode(node.bidSub, hnidRows);
        if (!sub) {
            throw Error(fmt::format("row matrix subnode 0x{:x} is missing", hnidRows)).AtNode(node.nid);
        }
        treeRows_ = db.OpenData(sub->bidData);
        if (treeRows_->BlockCount() > 0) {
            // Rows never straddle blocks: every block but the last holds the same number of rows.
            rowsPerBlock_ = treeRows_->Block(0)->size() / rowSize_;
            if (rowsPerBlock_ == 0) {
                throw Error("row matrix block is smaller than one row").AtNode(node.nid);
            }
            matrixRows = rowsPerBlock_ * (treeRows_->BlockCount() - 1) +
                         treeRows_->Block(treeRows_->BlockCount() - 1)->size() / rowSize_;
        }
    }
    rowCount_ = std::min<uint64_t>(indexed, matrixRows);
}

const TableColumn* TableContext::FindColumn(uint32_t tag) const {
    for (const auto& c : columns_) {
        if (c.tag == tag) {
            return &c;
        }
    }
    return nullptr;
}

TableContext::RowBytes TableContext::Row(size_t index) const {
    if (index >= rowCount_) {
        throw Error(fmt::format("row {} of {} requested", index, rowCount_)).AtNode(node_.nid);
    }
    if (heapRows_) {
        return {heapRows_->block, heapRows_->bytes.subspan(index * rowSize_, rowSize_)};
    }
    auto block = treeRows_->Block(index / rowsPerBlock_);
    size_t offset = (index % rowsPerBlock_) * rowSize_;
    return {block, Slice(*block, offset, rowSize_, "table row")};
}

uint32_t TableContext::RowId(size_t index) const {
    RowBytes row = Row(index);
    return U32(row.bytes, 0, "row id");
}

Value TableContext::Cell(const TableColumn& column, ByteSpan row) const {
    const uint16_t type = TagType(column.tag);
    ByteSpan cell = row.subspan(column.offset, InlineCell(type) ? FixedSize(type) : 4);
    if (InlineCell(type)) {
        return Value(type, Bytes(cell.begin(), cell.end()));
    }
    try {
        uint32_t hnid = U32(cell, 0);
        Bytes stored = hnid == 0 ? Bytes{} : ReadHnid(db_, heap_, node_.bidSub, hnid, kCellLimit);
        if (type & PropType::MultiValued) {
            return Value::FromStoredMulti(type, stored);
        }
        if (size_t size = FixedSize(type); size != 0 && stored.size() != size) {
            throw Error(fmt::format("{}-byte value for a {}", stored.size(), TypeName(type)));
        }
        return Value(type, std::move(stored));
    } catch (const Error&) {
        return Value::ErrorValue(kErrorCorruptData);
    }
}

TableRow TableContext::ReadRow(size_t index, const std::vector<uint32_t>* tags) const {
    try {
        RowBytes row = Row(index);
        TableRow out;
        out.rowId = U32(row.bytes, 0, "row id");
        for (const auto& column : columns_) {
            if (tags && std::find(tags->begin(), tags->end(), column.tag) == tags->end()) {
                continue;
            }
            uint8_t bits = row.bytes[bitmapOffset_ + column.bit / 8];
            if ((bits & (0x80 >> (column.bit % 8))) == 0) {
                continue;
            }
            Value v = Cell(column, row.bytes);
            out.values.emplace_back(v.Type() == PropType::Error && TagType(column.tag) != PropType::Error
                                        ? MakeTag(TagId(column.tag), PropType::Error)
                                        : column.tag,
                                    std::move(v));
        }
        return out;
    } catch (const Error& e) {
        throw Error(fmt::format("table row {}: {}", index, e.Detail())).AtNode(node_.nid).InFile(db_.Path());
    }
}

}  // namespace pst
