#include "pst/LtpWriter.h"

#include <algorithm>

#include <fmt/format.h>

#include "pst/PropTags.h"

namespace pst {
namespace {

constexpr size_t kPageMapFixed = 4;  // cAlloc, cFree

uint8_t FillLevel(size_t freeBytes) {
    static const size_t limits[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768,
                                    512,  256,  128,  64,   32,   16,   8};
    for (uint8_t level = 0; level < 15; ++level) {
        if (freeBytes >= limits[level]) {
            return level;
        }
    }
    return 15;
}

}  // namespace

size_t HeapBuilder::HeaderSize(size_t page) const {
    if (page == 0) {
        return 12;
    }
    return (page >= 8 && (page - 8) % 128 == 0) ? 66 : 2;
}

uint32_t HeapBuilder::Allocate(ByteSpan data) {
    if (data.size() > kMaxItem) {
        throw Error(fmt::format("heap allocation of {} bytes exceeds {}", data.size(), kMaxItem));
    }
    auto used = [&](size_t page, size_t extraItems, size_t extraBytes) {
        size_t bytes = HeaderSize(page) + extraBytes;
        for (const auto& item : pages_[page]) {
            bytes += item.size();
        }
        bytes += bytes % 2;
        return bytes + kPageMapFixed + 2 * (pages_[page].size() + extraItems + 1);
    };
    if (used(pages_.size() - 1, 1, data.size()) > NdbWriter::kMaxBlockData || pages_.back().size() >= 2047) {
        pages_.emplace_back();
    }
    const size_t page = pages_.size() - 1;
    pages_[page].emplace_back(data.begin(), data.end());
    return static_cast<uint32_t>((page << 16) | (pages_[page].size() << 5));
}

std::vector<Bytes> HeapBuilder::Pages() const {
    std::vector<Bytes> out;
    std::vector<uint8_t> fill;
    for (size_t p = 0; p < pages_.size(); ++p) {
        Bytes b(HeaderSize(p), 0);
        std::vector<uint16_t> offsets;
        for (const auto& item : pages_[p]) {
            offsets.push_back(static_cast<uint16_t>(b.size()));
            AppendBytes(b, item);
        }
        offsets.push_back(static_cast<uint16_t>(b.size()));
        if (b.size() % 2) {
            b.push_back(0);
        }
        const uint16_t mapOffset = static_cast<uint16_t>(b.size());
        Append16(b, static_cast<uint16_t>(pages_[p].size()));
        Append16(b, 0);
        for (uint16_t off : offsets) {
            Append16(b, off);
        }
        Put16(b.data(), mapOffset);
        fill.push_back(FillLevel(NdbWriter::kMaxBlockData - b.size()));
        out.push_back(std::move(b));
    }
    Bytes& first = out[0];
    first[2] = 0xEC;
    first[3] = clientSignature_;
    Put32(&first[4], userRoot_);
    // Fill levels, four bits per page: pages 0-7 in the header, then 128 per bitmap page.
    auto setFill = [&](Bytes& page, size_t base, size_t index, uint8_t level) {
        page[base + index / 2] |= static_cast<uint8_t>(index % 2 ? level << 4 : level);
    };
    for (size_t p = 0; p < fill.size(); ++p) {
        if (p < 8) {
            setFill(first, 8, p, fill[p]);
        } else {
            size_t bitmapPage = 8 + (p - 8) / 128 * 128;
            setFill(out[bitmapPage], 2, (p - 8) % 128, fill[p]);
        }
    }
    return out;
}

uint32_t BuildBTreeOnHeap(HeapBuilder& heap, size_t keySize, size_t dataSize,
                          const std::vector<std::pair<Bytes, Bytes>>& records) {
    uint8_t levels = 0;
    uint32_t root = 0;
    if (!records.empty()) {
        struct Node {
            Bytes firstKey;
            uint32_t hid;
        };
        std::vector<Node> nodes;
        const size_t perLeaf = HeapBuilder::kMaxItem / (keySize + dataSize);
        for (size_t i = 0; i < records.size(); i += perLeaf) {
            Bytes b;
            for (size_t k = i; k < std::min(records.size(), i + perLeaf); ++k) {
                AppendBytes(b, records[k].first);
                AppendBytes(b, records[k].second);
            }
            nodes.push_back({records[i].first, heap.Allocate(b)});
        }
        const size_t perBranch = HeapBuilder::kMaxItem / (keySize + 4);
        while (nodes.size() > 1) {
            std::vector<Node> parents;
            for (size_t i = 0; i < nodes.size(); i += perBranch) {
                Bytes b;
                for (size_t k = i; k < std::min(nodes.size(), i + perBranch); ++k) {
                    AppendBytes(b, nodes[k].firstKey);
                    Append32(b, nodes[k].hid);
                }
                parents.push_back({nodes[i].firstKey, heap.Allocate(b)});
            }
            nodes = std::move(parents);
            ++levels;
        }
        root = nodes[0].hid;
    }
    Bytes header = {0xB5, static_cast<uint8_t>(keySize), static_cast<uint8_t>(dataSize), levels};
    Append32(header, root);
    return heap.Allocate(header);
}

uint32_t StoreValue(NdbWriter& writer, HeapBuilder& heap, SubnodeIds& ids, ByteSpan stored,
                    NodeContent& node) {
    if (stored.size() <= HeapBuilder::kMaxItem) {
        return heap.Allocate(stored);
    }
    uint32_t nid = ids.Next(0x1F);
    node.subnodes.push_back({nid, writer.WriteData(stored), 0});
    return nid;
}

namespace {

uint64_t WriteHeap(NdbWriter& writer, const HeapBuilder& heap) {
    return writer.WriteDataTree(heap.Pages());
}

}  // namespace

NodeContent WritePropertyContext(NdbWriter& writer, const PropertyList& properties, SubnodeIds& ids) {
    NodeContent node;
    HeapBuilder heap(0xBC);
    PropertyList sorted = properties;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return TagId(a.first) < TagId(b.first); });
    std::vector<std::pair<Bytes, Bytes>> records;
    for (size_t i = 0; i < sorted.size(); ++i) {
        const auto& [tag, value] = sorted[i];
        if (i > 0 && TagId(sorted[i - 1].first) == TagId(tag)) {
            throw Error(fmt::format("property 0x{:04x} given twice", TagId(tag)));
        }
        const uint16_t type = TagType(tag);
        uint32_t hnid;
        if (size_t size = FixedSize(type); size != 0 && size <= 4) {
            Bytes raw = value.Raw();
            raw.resize(4, 0);
            hnid = U32(raw, 0);
        } else {
            hnid = StoreValue(writer, heap, ids, value.Stored(), node);
        }
        Bytes key, data;
        Append16(key, TagId(tag));
        Append16(data, type);
        Append32(data, hnid);
        records.emplace_back(std::move(key), std::move(data));
    }
    heap.SetUserRoot(BuildBTreeOnHeap(heap, 2, 6, records));
    node.bidData = WriteHeap(writer, heap);
    return node;
}

NodeContent WriteTableContext(NdbWriter& writer, std::vector<uint32_t> columns,
                              const std::vector<TableRowToWrite>& rows, SubnodeIds& ids) {
    NodeContent node;
    HeapBuilder heap(0x7C);
    columns.erase(std::remove_if(columns.begin(), columns.end(),
                                 [](uint32_t t) { return t == Tag::LtpRowId || t == Tag::LtpRowVersion; }),
                  columns.end());
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());

    // Row layout: row id and version first, then 8-byte, 4-byte, 2-byte and 1-byte cells, then
    // the cell-existence bitmap.
    struct Cell {
        uint32_t tag;
        uint16_t offset;
        uint8_t size;
        uint8_t bit;
    };
    if (columns.size() > 250) {
        throw Error(fmt::format("a table cannot have {} columns", columns.size() + 2));
    }
    std::vector<Cell> cells = {{Tag::LtpRowId, 0, 4, 0}, {Tag::LtpRowVersion, 4, 4, 1}};
    auto cellSize = [](uint32_t tag) {
        size_t size = FixedSize(TagType(tag));
        return static_cast<uint8_t>(size != 0 && size <= 8 ? size : 4);
    };
    uint16_t offset = 8;
    uint8_t bit = 2;
    std::vector<uint16_t> ends;
    for (uint8_t group : {8, 4, 2, 1}) {
        for (uint32_t tag : columns) {
            if (cellSize(tag) == group) {
                cells.push_back({tag, offset, group, bit++});
                offset += group;
            }
        }
        if (group != 8) {
            ends.push_back(offset);
        }
    }
    if (cells.size() > 255) {
        throw Error(fmt::format("a table cannot have {} columns", cells.size()));
    }
    const uint16_t bitmapOffset = offset;
    const uint16_t rowSize = static_cast<uint16_t>(offset + (cells.size() + 7) / 8);

    Bytes matrix;
    std::vector<std::pair<Bytes, Bytes>> index;
    for (size_t r = 0; r < rows.size(); ++r) {
        Bytes row(rowSize, 0);
        Put32(&row[0], rows[r].rowId);
        Put32(&row[4], static_cast<uint32_t>(r + 1));
        row[bitmapOffset] |= 0xC0;
        for (const auto& [tag, value] : rows[r].values) {
            const uint32_t wanted = tag;
            auto cell =
                std::find_if(cells.begin(), cells.end(), [&](const Cell& c) { return c.tag == wanted; });
            if (cell == cells.end() || cell->bit < 2) {
                continue;
            }
            Bytes raw;
            size_t fixed = FixedSize(TagType(tag));
            if (fixed != 0 && fixed <= 8) {
                raw = value.Raw();
                raw.resize(cell->size, 0);
            } else {
                raw.resize(4);
                Put32(raw.data(), StoreValue(writer, heap, ids, value.Stored(), node));
            }
            std::copy(raw.begin(), raw.end(), row.begin() + cell->offset);
            row[bitmapOffset + cell->bit / 8] |= static_cast<uint8_t>(0x80 >> (cell->bit % 8));
        }
        AppendBytes(matrix, row);
        Bytes key, data;
        Append32(key, rows[r].rowId);
        Append32(data, static_cast<uint32_t>(r));
        index.emplace_back(std::move(key), std::move(data));
    }
    std::sort(index.begin(), index.end(),
              [](const auto& a, const auto& b) { return U32(a.first, 0) < U32(b.first, 0); });
    const uint32_t hidIndex = BuildBTreeOnHeap(heap, 4, 4, index);

    uint32_t hnidRows = 0;
    if (!matrix.empty()) {
        if (matrix.size() <= HeapBuilder::kMaxItem) {
            hnidRows = heap.Allocate(matrix);
        } else {
            // Whole rows per block.
            const size_t perBlock = NdbWriter::kMaxBlockData / rowSize;
            std::vector<Bytes> blocks;
            for (size_t off = 0; off < matrix.size(); off += perBlock * rowSize) {
                size_t n = std::min(perBlock * rowSize, matrix.size() - off);
                blocks.emplace_back(matrix.begin() + off, matrix.begin() + off + n);
            }
            hnidRows = ids.Next(0x1F);
            node.subnodes.push_back({hnidRows, writer.WriteDataTree(blocks), 0});
        }
    }

    std::sort(cells.begin(), cells.end(), [](const Cell& a, const Cell& b) { return a.tag < b.tag; });
    Bytes info = {0x7C, static_cast<uint8_t>(cells.size())};
    Append16(info, ends[0]);
    Append16(info, ends[1]);
    Append16(info, ends[2]);
    Append16(info, rowSize);
    Append32(info, hidIndex);
    Append32(info, hnidRows);
    Append32(info, 0);
    for (const auto& c : cells) {
        Append32(info, c.tag);
        Append16(info, c.offset);
        info.push_back(c.size);
        info.push_back(c.bit);
    }
    heap.SetUserRoot(heap.Allocate(info));
    node.bidData = WriteHeap(writer, heap);
    return node;
}

}  // namespace pst
