#include "pst/NdbWriter.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "pst/Crc.h"

namespace pst {
namespace {

constexpr uint8_t kPageBlockTree = 0x80;
constexpr uint8_t kPageNodeTree = 0x81;
constexpr uint8_t kPageAllocationMap = 0x84;
constexpr uint8_t kPagePageMap = 0x83;

uint16_t Signature(uint64_t ib, uint64_t bid) {
    ib ^= bid;
    return static_cast<uint16_t>((ib >> 16) ^ ib);
}

// Where the allocation maps lie: the first at `first`, then one every `interval` bytes; each map
// describes its interval with one bit per `unit` bytes.
struct MapLayout {
    uint64_t first, interval, unit, pageMapInterval;
};

MapLayout LayoutFor(Format format) {
    if (format == Format::Unicode4K) {
        return {0x22000, 4072ull * 8 * 512, 512, 0};
    }
    return {0x4400, 496ull * 8 * 64, 64, 496ull * 8 * 512};
}

}  // namespace

NdbWriter::NdbWriter(const std::string& path, Format format, Encryption encryption, uint32_t unique,
                     bool padToInterval)
    : path_(path),
      format_(format),
      geometry_(Geometry::For(format)),
      encryption_(encryption),
      unique_(unique),
      padToInterval_(padToInterval) {
    if (format == Format::Ansi) {
        throw Error("the writer makes Unicode files only", path);
    }
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        throw Error(fmt::format("cannot create: {}", std::strerror(errno)), path);
    }
    end_ = LayoutFor(format).first;
}

NdbWriter::~NdbWriter() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool NdbWriter::IsReserved(uint64_t offset) const {
    const MapLayout m = LayoutFor(format_);
    if (offset < m.first) {
        return true;
    }
    uint64_t within = (offset - m.first) % m.interval;
    if (within < geometry_.pageSize) {
        return true;  // the allocation map page
    }
    // The deprecated page maps follow the allocation map at the start of every eighth interval.
    return m.pageMapInterval != 0 && (offset - m.first) % m.pageMapInterval < 2 * geometry_.pageSize &&
           within < 2 * geometry_.pageSize;
}

uint64_t NdbWriter::Allocate(uint64_t size, uint64_t align) {
    const MapLayout m = LayoutFor(format_);
    for (;;) {
        uint64_t start = (end_ + align - 1) / align * align;
        // Never overlap the map pages at the start of the next interval.
        uint64_t intervalStart = m.first + (start - m.first) / m.interval * m.interval;
        uint64_t nextInterval = intervalStart + m.interval;
        if (IsReserved(start)) {
            end_ = start + 64;
            while (IsReserved(end_)) {
                end_ += 64;
            }
            continue;
        }
        if (start + size > nextInterval) {
            end_ = nextInterval;
            continue;
        }
        end_ = start + size;
        MarkAllocated(start, size);
        return start;
    }
}

void NdbWriter::MarkAllocated(uint64_t offset, uint64_t size) {
    const uint64_t unit = LayoutFor(format_).unit;
    const uint64_t base = LayoutFor(format_).first;
    for (uint64_t u = (offset - base) / unit; u < (offset + size - base + unit - 1) / unit; ++u) {
        if (u / 8 >= allocated_.size()) {
            allocated_.resize(u / 8 + 1 + (1 << 16), 0);
        }
        allocated_[u / 8] |= static_cast<uint8_t>(0x80 >> (u % 8));
    }
}

void NdbWriter::WriteAt(uint64_t offset, ByteSpan data) {
    if (::fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0 ||
        std::fwrite(data.data(), 1, data.size(), file_) != data.size()) {
        throw Error(fmt::format("write error: {}", std::strerror(errno)), path_);
    }
}

uint64_t NdbWriter::WriteBlock(ByteSpan data, bool internal) {
    const uint64_t bid = (nextBlockIndex_++ << 2) | (internal ? 2 : 0);
    Bytes stored(data.begin(), data.end());
    if (!internal) {
        EncodeBlock(encryption_, stored, static_cast<uint32_t>(bid));
    }
    const uint16_t inflated = static_cast<uint16_t>(stored.size());
    if (format_ == Format::Unicode4K && !stored.empty()) {
        Bytes packed(compressBound(stored.size()));
        uLongf packedSize = packed.size();
        if (compress2(packed.data(), &packedSize, stored.data(), stored.size(), 6) == Z_OK &&
            packedSize < stored.size()) {
            packed.resize(packedSize);
            stored = std::move(packed);
        }
    }
    const size_t trailer = geometry_.blockTrailer;
    const uint64_t total =
        (stored.size() + trailer + geometry_.blockAlign - 1) / geometry_.blockAlign * geometry_.blockAlign;
    const uint64_t ib = Allocate(total, geometry_.blockAlign);
    Bytes block(total, 0);
    std::copy(stored.begin(), stored.end(), block.begin());
    uint8_t* t = block.data() + total - trailer;
    Put16(t, static_cast<uint16_t>(stored.size()));
    Put16(t + 2, Signature(ib, bid));
    Put32(t + 4, PstCrc32(stored));
    Put64(t + 8, bid);
    if (format_ == Format::Unicode4K) {
        Put16(t + 18, inflated);
    }
    WriteAt(ib, block);
    blocks_.push_back({bid, ib, static_cast<uint16_t>(stored.size())});
    return bid;
}

uint64_t NdbWriter::WriteData(ByteSpan data) {
    if (data.size() <= kMaxBlockData) {
        return WriteBlock(data, false);
    }
    std::vector<Bytes> leaves;
    for (size_t off = 0; off < data.size(); off += kMaxBlockData) {
        size_t n = std::min(kMaxBlockData, data.size() - off);
        leaves.emplace_back(data.begin() + off, data.begin() + off + n);
    }
    return WriteDataTree(leaves);
}

uint64_t NdbWriter::WriteDataTree(const std::vector<Bytes>& leaves) {
    if (leaves.size() == 1) {
        return WriteBlock(leaves[0], false);
    }
    constexpr size_t kPerXBlock = (kMaxBlockData - 8) / 8;
    struct Child {
        uint64_t bid;
        uint64_t size;
    };
    std::vector<Child> level;
    for (const auto& leaf : leaves) {
        level.push_back({WriteBlock(leaf, false), leaf.size()});
    }
    // One XBLOCK level, then an XXBLOCK when one XBLOCK cannot list every leaf.
    for (uint8_t depth = 1; level.size() > 1 || depth == 1; ++depth) {
        if (depth > 2) {
            throw Error("value too large for a PST data tree", path_);
        }
        std::vector<Child> parents;
        for (size_t i = 0; i < level.size(); i += kPerXBlock) {
            size_t n = std::min(kPerXBlock, level.size() - i);
            uint64_t total = 0;
            Bytes x = {0x01, depth, 0, 0, 0, 0, 0, 0};
            Put16(x.data() + 2, static_cast<uint16_t>(n));
            for (size_t k = 0; k < n; ++k) {
                Append64(x, level[i + k].bid);
                total += level[i + k].size;
            }
            if (total > 0xFFFFFFFFull) {
                throw Error("value too large for a PST data tree", path_);
            }
            Put32(x.data() + 4, static_cast<uint32_t>(total));
            parents.push_back({WriteBlock(x, true), total});
        }
        level = std::move(parents);
        if (level.size() == 1) {
            break;
        }
    }
    return level[0].bid;
}

uint64_t NdbWriter::WriteSubnodes(std::vector<SubnodeEntry> entries) {
    if (entries.empty()) {
        return 0;
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.nid < b.nid; });
    constexpr size_t kPerLeaf = (kMaxBlockData - 8) / 24;
    constexpr size_t kPerIndex = (kMaxBlockData - 8) / 16;
    std::vector<std::pair<uint32_t, uint64_t>> leaves;  // first nid, bid
    for (size_t i = 0; i < entries.size(); i += kPerLeaf) {
        size_t n = std::min(kPerLeaf, entries.size() - i);
        Bytes b = {0x02, 0x00, 0, 0, 0, 0, 0, 0};
        Put16(b.data() + 2, static_cast<uint16_t>(n));
        for (size_t k = 0; k < n; ++k) {
            Append64(b, entries[i + k].nid);
            Append64(b, entries[i + k].bidData);
            Append64(b, entries[i + k].bidSub);
        }
        leaves.emplace_back(entries[i].nid, WriteBlock(b, true));
    }
    if (leaves.size() == 1) {
        return leaves[0].second;
    }
    if (leaves.size() > kPerIndex) {
        throw Error("too many subnodes for one object", path_);
    }
    Bytes b = {0x02, 0x01, 0, 0, 0, 0, 0, 0};
    Put16(b.data() + 2, static_cast<uint16_t>(leaves.size()));
    for (const auto& [nid, bid] : leaves) {
        Append64(b, nid);
        Append64(b, bid);
    }
    return WriteBlock(b, true);
}

void NdbWriter::AddNode(uint32_t nid, uint64_t bidData, uint64_t bidSub, uint32_t nidParent) {
    nodes_.push_back({nid, bidData, bidSub, nidParent});
}

NdbWriter::PageRef NdbWriter::WritePage(Bytes entries, size_t count, size_t entrySize, int level,
                                        uint8_t type, uint64_t firstKey) {
    const size_t size = geometry_.pageSize;
    const size_t area = geometry_.pageEntryArea;
    Bytes page(size, 0);
    std::copy(entries.begin(), entries.end(), page.begin());
    if (format_ == Format::Unicode4K) {
        Put16(&page[area], static_cast<uint16_t>(count));
        Put16(&page[area + 2], static_cast<uint16_t>(area / entrySize));
        page[area + 4] = static_cast<uint8_t>(entrySize);
        page[area + 5] = static_cast<uint8_t>(level);
    } else {
        page[area] = static_cast<uint8_t>(count);
        page[area + 1] = static_cast<uint8_t>(area / entrySize);
        page[area + 2] = static_cast<uint8_t>(entrySize);
        page[area + 3] = static_cast<uint8_t>(level);
    }
    const uint64_t ib = Allocate(size, size);
    const uint64_t bid = nextPageIndex_++ << 2;
    const size_t trailer = format_ == Format::Unicode4K ? size - 24 : size - 16;
    page[trailer] = type;
    page[trailer + 1] = type;
    Put16(&page[trailer + 2], Signature(ib, bid));
    Put32(&page[trailer + 4], PstCrc32(ByteSpan(page).first(trailer)));
    Put64(&page[trailer + 8], bid);
    WriteAt(ib, page);
    return {firstKey, bid, ib};
}

template <typename Entry, typename Encode>
Bref NdbWriter::WriteBTree(const std::vector<Entry>& entries, size_t leafEntrySize, uint8_t type,
                           Encode encode) {
    const size_t area = geometry_.pageEntryArea;
    std::vector<PageRef> level;
    const size_t perLeaf = area / leafEntrySize;
    size_t i = 0;
    do {
        size_t n = std::min(perLeaf, entries.size() - i);
        Bytes b;
        uint64_t firstKey = 0;
        for (size_t k = 0; k < n; ++k) {
            uint64_t key = encode(entries[i + k], b);
            if (k == 0) {
                firstKey = key;
            }
        }
        level.push_back(WritePage(std::move(b), n, leafEntrySize, 0, type, firstKey));
        i += n;
    } while (i < entries.size());
    const size_t perBranch = area / 24;
    for (int depth = 1; level.size() > 1; ++depth) {
        std::vector<PageRef> parents;
        for (size_t i = 0; i < level.size(); i += perBranch) {
            size_t n = std::min(perBranch, level.size() - i);
            Bytes b;
            for (size_t k = 0; k < n; ++k) {
                Append64(b, level[i + k].key);
                Append64(b, level[i + k].bid);
                Append64(b, level[i + k].ib);
            }
            parents.push_back(WritePage(std::move(b), n, 24, depth, type, level[i].key));
        }
        level = std::move(parents);
    }
    return {level[0].bid, level[0].ib};
}

void NdbWriter::Finish(const std::array<uint32_t, 32>& nextNids) {
    std::sort(nodes_.begin(), nodes_.end(), [](const auto& a, const auto& b) { return a.nid < b.nid; });
    for (size_t i = 1; i < nodes_.size(); ++i) {
        if (nodes_[i].nid == nodes_[i - 1].nid) {
            throw Error(fmt::format("node 0x{:x} written twice", nodes_[i].nid), path_);
        }
    }
    nodeRoot_ = WriteBTree(nodes_, 32, kPageNodeTree, [](const NodeEntry& n, Bytes& b) -> uint64_t {
        Append64(b, n.nid);
        Append64(b, n.bidData);
        Append64(b, n.bidSub);
        Append32(b, n.nidParent);
        Append32(b, 0);
        return n.nid;
    });
    // Block ids were handed out in increasing order, page ids from their own counter.
    std::sort(blocks_.begin(), blocks_.end(), [](const auto& a, const auto& b) { return a.bid < b.bid; });
    blockRoot_ = WriteBTree(blocks_, 24, kPageBlockTree, [](const BlockEntry& e, Bytes& b) -> uint64_t {
        Append64(b, e.bid);
        Append64(b, e.ib);
        Append16(b, e.cb);
        Append16(b, 2);
        Append32(b, 0);
        return e.bid;
    });
    WriteMaps();
    WriteHeader(nextNids);
    bool ok = std::fflush(file_) == 0 && ::ftruncate(::fileno(file_), static_cast<off_t>(end_)) == 0;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok) {
        throw Error(fmt::format("write error: {}", std::strerror(errno)), path_);
    }
}

void NdbWriter::WriteMaps() {
    const MapLayout m = LayoutFor(format_);
    const size_t pageSize = geometry_.pageSize;
    const size_t bitsPerMap = m.interval / m.unit;
    const size_t trailer = pageSize - (format_ == Format::Unicode4K ? 24 : 16);
    // The file ends at a whole interval so that every map describes a full interval of the file.
    uint64_t fileEnd = m.first + ((end_ - m.first + m.interval - 1) / m.interval) * m.interval;
    const uint64_t usedEnd = end_;
    for (uint64_t start = m.first; start < fileEnd; start += m.interval) {
        MarkAllocated(start, pageSize);
        bool pageMapHere = m.pageMapInterval != 0 && (start - m.first) % m.pageMapInterval == 0;
        if (pageMapHere) {
            MarkAllocated(start + pageSize, pageSize);
        }
        Bytes page(pageSize, 0);
        const uint64_t firstUnit = (start - m.first) / m.unit;
        for (size_t bit = 0; bit < bitsPerMap && bit < trailer * 8; ++bit) {
            uint64_t u = firstUnit + bit;
            bool used = u / 8 < allocated_.size() && (allocated_[u / 8] & (0x80 >> (u % 8)));
            if (used) {
                page[bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
            } else {
                freeBytes_ += m.unit;
            }
        }
        page[trailer] = kPageAllocationMap;
        page[trailer + 1] = kPageAllocationMap;
        Put32(&page[trailer + 4], PstCrc32(ByteSpan(page).first(trailer)));
        Put64(&page[trailer + 8], start);
        WriteAt(start, page);
        lastMap_ = start;
        if (pageMapHere) {
            // Deprecated, but still expected: every page marked as in use.
            Bytes pmap(pageSize, 0xFF);
            std::fill(pmap.begin() + trailer, pmap.end(), 0);
            pmap[trailer] = kPagePageMap;
            pmap[trailer + 1] = kPagePageMap;
            Put32(&pmap[trailer + 4], PstCrc32(ByteSpan(pmap).first(trailer)));
            Put64(&pmap[trailer + 8], start + pageSize);
            WriteAt(start + pageSize, pmap);
        }
    }
    end_ = padToInterval_ ? fileEnd : usedEnd;
}

void NdbWriter::WriteHeader(const std::array<uint32_t, 32>& nextNids) {
    Bytes h(Header::kMaxSize, 0);
    Put32(&h[0], 0x4E444221);  // "!BDN"
    h[8] = 'S';
    h[9] = 'M';
    Put16(&h[10], format_ == Format::Unicode4K ? 36 : 23);
    Put16(&h[12], 19);
    h[14] = 1;
    h[15] = 1;
    Put64(&h[32], nextPageIndex_ << 2);
    Put32(&h[40], unique_);
    for (size_t i = 0; i < 32; ++i) {
        Put32(&h[44 + i * 4], nextNids[i]);
    }
    Put64(&h[184], end_);
    Put64(&h[192], lastMap_);
    Put64(&h[200], freeBytes_);
    Put64(&h[208], 0);
    Put64(&h[216], nodeRoot_.bid);
    Put64(&h[224], nodeRoot_.ib);
    Put64(&h[232], blockRoot_.bid);
    Put64(&h[240], blockRoot_.ib);
    h[248] = 2;  // allocation maps valid
    std::fill(h.begin() + 256, h.begin() + 512, 0xFF);
    h[512] = 0x80;
    h[513] = static_cast<uint8_t>(encryption_);
    Put64(&h[516], nextBlockIndex_ << 2);
    Put32(&h[4], PstCrc32(ByteSpan(h).subspan(8, 471)));
    Put32(&h[524], PstCrc32(ByteSpan(h).subspan(8, 516)));
    WriteAt(0, h);
    // The area between the header and the first map is part of the file.
    if (LayoutFor(format_).first > h.size()) {
        Bytes zeros(LayoutFor(format_).first - h.size(), 0);
        WriteAt(h.size(), zeros);
    }
}

}  // namespace pst
