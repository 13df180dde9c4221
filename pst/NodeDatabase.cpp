#include "pst/NodeDatabase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_set>

#include <fmt/format.h>

#include "pst/Crc.h"

namespace pst {
namespace {

constexpr uint8_t kPageBlockTree = 0x80;
constexpr uint8_t kPageNodeTree = 0x81;
constexpr int kMaxTreeLevels = 16;
constexpr uint64_t kPageKeyFlag = 1ull << 63;

uint64_t BidKey(uint64_t bid) {
    return bid & ~1ull;
}

}  // namespace

struct NodeDatabase::Page {
    std::shared_ptr<const Bytes> data;
    size_t count = 0;
    size_t entrySize = 0;
    int level = 0;
    ByteSpan Entry(size_t i) const { return ByteSpan(*data).subspan(i * entrySize, entrySize); }
};

NodeDatabase::NodeDatabase(const std::string& path, size_t cacheBytes, bool verifyChecksums)
    : path_(path),
      geometry_(Geometry::For(Format::Unicode)),
      cache_(cacheBytes),
      verifyChecksums_(verifyChecksums) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        throw Error(fmt::format("cannot open: {}", std::strerror(errno)), path);
    }
    try {
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            throw Error("not a regular file");
        }
        fileSize_ = static_cast<uint64_t>(st.st_size);
        Bytes head(std::min<uint64_t>(Header::kMaxSize, fileSize_));
        ReadAt(0, head.data(), head.size());
        header_ = Header::Parse(head, fileSize_, verifyChecksums_);
        geometry_ = Geometry::For(header_.format);
        // Both roots must be sound before anything else is trusted.
        ParsePage(header_.nodeBTree, kPageNodeTree);
        ParsePage(header_.blockBTree, kPageBlockTree);
    } catch (const Error& e) {
        ::close(fd_);
        throw e.InFile(path);
    }
}

NodeDatabase::~NodeDatabase() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void NodeDatabase::ReadAt(uint64_t offset, uint8_t* out, size_t size) {
    if (offset > fileSize_ || size > fileSize_ - offset) {
        throw Error(fmt::format("{} bytes at offset 0x{:x} lie beyond the end of the {}-byte file", size,
                                offset, fileSize_));
    }
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw Error(fmt::format("read error at offset 0x{:x}: {}", offset + done,
                                    n < 0 ? std::strerror(errno) : "unexpected end of file"));
        }
        done += static_cast<size_t>(n);
    }
}

std::shared_ptr<const Bytes> NodeDatabase::ReadPage(const Bref& ref, uint8_t pageType) {
    try {
        return LoadPage(ref, pageType);
    } catch (const Error& e) {
        throw e.InFile(path_);
    }
}

std::shared_ptr<const Bytes> NodeDatabase::LoadPage(const Bref& ref, uint8_t pageType) {
    uint64_t key = (ref.ib / 64) | kPageKeyFlag;
    if (auto cached = cache_.Find(key)) {
        return cached;
    }
    const size_t size = geometry_.pageSize;
    auto page = std::make_shared<Bytes>(size);
    ReadAt(ref.ib, page->data(), size);
    const bool ansi = header_.format == Format::Ansi;
    const size_t trailer = ansi ? size - 12 : size - (header_.format == Format::Unicode4K ? 24 : 16);
    uint8_t type = (*page)[trailer];
    if (type != pageType || (*page)[trailer + 1] != pageType) {
        throw Error(fmt::format("page at 0x{:x}: type 0x{:02x}, expected 0x{:02x}", ref.ib, type, pageType));
    }
    uint64_t bid = ansi ? U32(*page, trailer + 4) : U64(*page, trailer + 8);
    uint32_t storedCrc = ansi ? U32(*page, trailer + 8) : U32(*page, trailer + 4);
    // Exact match, reserved bit included: a page whose back pointer differs is not trusted.
    if (bid != ref.bid) {
        throw Error(fmt::format("page at 0x{:x}: back pointer 0x{:x} does not match the expected 0x{:x}",
                                ref.ib, bid, ref.bid));
    }
    uint32_t crc = verifyChecksums_ ? PstCrc32(ByteSpan(*page).first(trailer)) : storedCrc;
    if (verifyChecksums_ && crc != storedCrc) {
        throw Error(fmt::format("page at 0x{:x}: checksum 0x{:08x} does not match the stored 0x{:08x}",
                                ref.ib, crc, storedCrc));
    }
    cache_.Insert(key, page);
    return page;
}

NodeDatabase::Page NodeDatabase::ParsePage(const Bref& ref, uint8_t pageType) {
    Page p;
    p.data = ReadPage(ref, pageType);
    const ByteSpan d(*p.data);
    const size_t area = geometry_.pageEntryArea;
    if (header_.format == Format::Unicode4K) {
        p.count = U16(d, area);
        p.entrySize = d[area + 4];
        p.level = d[area + 5];
    } else {
        p.count = d[area];
        p.entrySize = d[area + 2];
        p.level = d[area + 3];
    }
    const size_t id = geometry_.idSize;
    size_t minimum = p.level > 0 ? id * 3 : (pageType == kPageNodeTree ? id * 3 + 4 : id * 2 + 4);
    if (p.entrySize < minimum || p.count * p.entrySize > area || p.level >= kMaxTreeLevels) {
        throw Error(fmt::format("B-tree page at 0x{:x}: {} entries of {} bytes at level {} do not fit",
                                ref.ib, p.count, p.entrySize, p.level));
    }
    return p;
}

Node NodeDatabase::ParseNodeEntry(ByteSpan e) const {
    Node n;
    if (geometry_.idSize == 4) {
        n = {U32(e, 0), U32(e, 4), U32(e, 8), U32(e, 12)};
    } else {
        n = {U32(e, 0), U64(e, 8), U64(e, 16), U32(e, 24)};
    }
    return n;
}

std::optional<Node> NodeDatabase::FindNode(uint32_t nid) {
    const size_t id = geometry_.idSize;
    Bref ref = header_.nodeBTree;
    int expectedLevel = -1;
    for (;;) {
        Page page = ParsePage(ref, kPageNodeTree);
        if (expectedLevel >= 0 && page.level != expectedLevel) {
            throw Error(fmt::format("node B-tree page at 0x{:x} has level {}, expected {}", ref.ib,
                                    page.level, expectedLevel));
        }
        if (page.level == 0) {
            for (size_t i = 0; i < page.count; ++i) {
                Node n = ParseNodeEntry(page.Entry(i));
                if (n.nid == nid) {
                    return n;
                }
            }
            return std::nullopt;
        }
        std::optional<Bref> next;
        for (size_t i = 0; i < page.count; ++i) {
            ByteSpan e = page.Entry(i);
            uint32_t key = U32(e, 0);
            if (key > nid) {
                break;
            }
            next = id == 4 ? Bref{U32(e, 4), U32(e, 8)} : Bref{U64(e, 8), U64(e, 16)};
        }
        if (!next) {
            return std::nullopt;
        }
        ref = *next;
        expectedLevel = page.level - 1;
    }
}

void NodeDatabase::ForEachNode(const std::function<void(const Node&)>& visit) {
    std::unordered_set<uint64_t> seen;
    WalkNodes(header_.nodeBTree, -1, seen, visit);
}

void NodeDatabase::WalkNodes(const Bref& ref, int expectedLevel, std::unordered_set<uint64_t>& seen,
                             const std::function<void(const Node&)>& visit) {
    // Pages shared between branches would make the walk repeat itself exponentially.
    if (!seen.insert(ref.ib).second) {
        throw Error(fmt::format("node B-tree page at 0x{:x} is referenced twice", ref.ib));
    }
    Page page = ParsePage(ref, kPageNodeTree);
    if (expectedLevel >= 0 && page.level != expectedLevel) {
        throw Error(fmt::format("node B-tree page at 0x{:x} has level {}, expected {}", ref.ib, page.level,
                                expectedLevel));
    }
    for (size_t i = 0; i < page.count; ++i) {
        ByteSpan e = page.Entry(i);
        if (page.level == 0) {
            visit(ParseNodeEntry(e));
        } else {
            Bref child = geometry_.idSize == 4 ? Bref{U32(e, 4), U32(e, 8)} : Bref{U64(e, 8), U64(e, 16)};
            WalkNodes(child, page.level - 1, seen, visit);
        }
    }
}

std::optional<BlockRef> NodeDatabase::FindBlock(uint64_t bid) {
    const size_t id = geometry_.idSize;
    const uint64_t target = BidKey(bid);
    Bref ref = header_.blockBTree;
    int expectedLevel = -1;
    for (;;) {
        Page page = ParsePage(ref, kPageBlockTree);
        if (expectedLevel >= 0 && page.level != expectedLevel) {
            throw Error(fmt::format("block B-tree page at 0x{:x} has level {}, expected {}", ref.ib,
                                    page.level, expectedLevel));
        }
        if (page.level == 0) {
            // Leaf entries are sorted by block id: binary search.
            size_t lo = 0, hi = page.count;
            while (lo < hi) {
                size_t mid = (lo + hi) / 2;
                ByteSpan e = page.Entry(mid);
                uint64_t key = BidKey(id == 4 ? U32(e, 0) : U64(e, 0));
                if (key == target) {
                    if (id == 4) {
                        return BlockRef{U32(e, 0), U32(e, 4), U16(e, 8), U16(e, 10)};
                    }
                    return BlockRef{U64(e, 0), U64(e, 8), U16(e, 16), U16(e, 18)};
                }
                if (key < target) {
                    lo = mid + 1;
                } else {
                    hi = mid;
                }
            }
            return std::nullopt;
        }
        std::optional<Bref> next;
        for (size_t i = 0; i < page.count; ++i) {
            ByteSpan e = page.Entry(i);
            uint64_t key = BidKey(id == 4 ? U32(e, 0) : U64(e, 0));
            if (key > target) {
                break;
            }
            next = id == 4 ? Bref{U32(e, 4), U32(e, 8)} : Bref{U64(e, 8), U64(e, 16)};
        }
        if (!next) {
            return std::nullopt;
        }
        ref = *next;
        expectedLevel = page.level - 1;
    }
}

std::shared_ptr<const Bytes> NodeDatabase::ReadBlock(uint64_t bid) {
    try {
        return LoadBlock(bid);
    } catch (const Error& e) {
        throw e.InFile(path_);
    }
}

std::shared_ptr<const Bytes> NodeDatabase::LoadBlock(uint64_t bid) {
    if (auto cached = cache_.Find(BidKey(bid))) {
        return cached;
    }
    auto ref = FindBlock(bid);
    if (!ref) {
        throw Error(fmt::format("block 0x{:x} is missing from the block B-tree", bid));
    }
    const size_t trailerSize = geometry_.blockTrailer;
    const size_t align = geometry_.blockAlign;
    const uint64_t stored = (static_cast<uint64_t>(ref->cb) + trailerSize + align - 1) / align * align;
    if (stored > geometry_.maxBlockSize) {
        throw Error(fmt::format("block 0x{:x} claims {} bytes, more than a block can hold", bid, ref->cb));
    }
    Bytes raw(stored);
    ReadAt(ref->ib, raw.data(), raw.size());
    ByteSpan trailer = ByteSpan(raw).last(trailerSize);
    const bool ansi = header_.format == Format::Ansi;
    uint16_t cb = U16(trailer, 0);
    uint64_t trailerBid = ansi ? U32(trailer, 4) : U64(trailer, 8);
    uint32_t storedCrc = ansi ? U32(trailer, 8) : U32(trailer, 4);
    if (cb != ref->cb || (trailerBid != 0 && BidKey(trailerBid) != BidKey(bid))) {
        throw Error(
            fmt::format("block 0x{:x} at 0x{:x}: its trailer (size {}, id 0x{:x}) does not match the "
                        "block B-tree (size {})",
                        bid, ref->ib, cb, trailerBid, ref->cb));
    }
    ByteSpan content = ByteSpan(raw).first(cb);
    if (verifyChecksums_ && storedCrc != 0 && PstCrc32(content) != storedCrc) {
        throw Error(fmt::format("block 0x{:x} at 0x{:x}: checksum mismatch", bid, ref->ib));
    }
    const uint16_t inflated = header_.format == Format::Unicode4K ? U16(trailer, 18) : 0;
    std::shared_ptr<Bytes> data;
    if (inflated != 0 && inflated != cb) {
        data = std::make_shared<Bytes>(inflated);
        uLongf outSize = inflated;
        if (::uncompress(data->data(), &outSize, content.data(), content.size()) != Z_OK ||
            outSize != inflated) {
            throw Error(fmt::format("block 0x{:x}: its compressed data cannot be inflated", bid));
        }
    } else {
        raw.resize(cb);  // keeps the buffer: no second copy of every block
        data = std::make_shared<Bytes>(std::move(raw));
    }
    if (!IsInternal(bid)) {
        DecodeBlock(header_.encryption, *data, static_cast<uint32_t>(bid));
    }
    cache_.Insert(BidKey(bid), data);
    return data;
}

DataTree NodeDatabase::OpenData(uint64_t bid) {
    return DataTree(*this, bid);
}

std::optional<Node> NodeDatabase::FindSubnode(uint64_t bidSub, uint32_t nid) {
    std::optional<Node> found;
    WalkSubnodes(bidSub, 0, [&](const Node& n) {
        if (n.nid == nid) {
            found = n;
            return false;
        }
        return true;
    });
    return found;
}

void NodeDatabase::ForEachSubnode(uint64_t bidSub, const std::function<void(const Node&)>& visit) {
    WalkSubnodes(bidSub, 0, [&](const Node& n) {
        visit(n);
        return true;
    });
}

void NodeDatabase::WalkSubnodes(uint64_t bid, int depth, const std::function<bool(const Node&)>& visit) {
    if (bid == 0) {
        return;
    }
    if (depth > 2) {
        throw Error(fmt::format("subnode tree block 0x{:x} is nested too deeply", bid));
    }
    auto block = ReadBlock(bid);
    ByteSpan d(*block);
    if (U8(d, 0, "subnode block") != 0x02) {
        throw Error(fmt::format("block 0x{:x} is not a subnode block (type 0x{:02x})", bid, d[0]));
    }
    const int level = U8(d, 1);
    const size_t count = U16(d, 2);
    const bool ansi = geometry_.idSize == 4;
    const size_t headerSize = ansi ? 4 : 8;
    const size_t entrySize = level == 0 ? (ansi ? 12 : 24) : (ansi ? 8 : 16);
    if (level > 1 || (depth > 0 && level != 0) || headerSize + count * entrySize > d.size()) {
        throw Error(
            fmt::format("subnode block 0x{:x}: {} entries at level {} do not fit", bid, count, level));
    }
    for (size_t i = 0; i < count; ++i) {
        ByteSpan e = d.subspan(headerSize + i * entrySize, entrySize);
        if (level == 0) {
            Node n =
                ansi ? Node{U32(e, 0), U32(e, 4), U32(e, 8), 0} : Node{U32(e, 0), U64(e, 8), U64(e, 16), 0};
            if (!visit(n)) {
                return;
            }
        } else {
            uint64_t child = ansi ? U32(e, 4) : U64(e, 8);
            bool stop = false;
            WalkSubnodes(child, depth + 1, [&](const Node& n) {
                if (!visit(n)) {
                    stop = true;
                    return false;
                }
                return true;
            });
            if (stop) {
                return;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------

DataTree::DataTree(NodeDatabase& db, uint64_t bid) : db_(&db) {
    if (bid != 0) {
        Collect(bid, 2);
    }
}

void DataTree::Collect(uint64_t bid, int maxLevel) {
    if (!NodeDatabase::IsInternal(bid)) {
        leaves_.push_back(bid);
        size_ += db_->ReadBlock(bid)->size();
        return;
    }
    auto block = db_->ReadBlock(bid);
    ByteSpan d(*block);
    if (U8(d, 0, "data tree block") != 0x01) {
        throw Error(fmt::format("block 0x{:x} is not a data tree block (type 0x{:02x})", bid, d[0]));
    }
    const int level = U8(d, 1);
    const size_t count = U16(d, 2);
    const uint32_t total = U32(d, 4);
    const size_t idSize = db_->GetGeometry().idSize;
    if (level < 1 || level > maxLevel || 8 + count * idSize > d.size()) {
        throw Error(
            fmt::format("data tree block 0x{:x}: {} entries at level {} do not fit", bid, count, level));
    }
    const uint64_t before = size_;
    for (size_t i = 0; i < count; ++i) {
        uint64_t child = idSize == 4 ? U32(d, 8 + i * 4) : U64(d, 8 + i * 8);
        if (level == 1) {
            if (NodeDatabase::IsInternal(child)) {
                throw Error(
                    fmt::format("data tree block 0x{:x} refers to internal block 0x{:x}", bid, child));
            }
            leaves_.push_back(child);
            auto ref = db_->FindBlock(child);
            if (!ref) {
                throw Error(fmt::format("block 0x{:x} is missing from the block B-tree", child));
            }
            // The total is checked below; 4 KiB-page blocks may be compressed, so ask the block.
            size_ += db_->GetHeader().format == Format::Unicode4K ? db_->ReadBlock(child)->size() : ref->cb;
        } else {
            if (!NodeDatabase::IsInternal(child)) {
                throw Error(
                    fmt::format("data tree block 0x{:x} refers to data block 0x{:x} at level 2", bid, child));
            }
            Collect(child, 1);
        }
    }
    if (size_ - before != total) {
        throw Error(fmt::format("data tree block 0x{:x}: its blocks hold {} bytes, not the {} it claims", bid,
                                size_ - before, total));
    }
}

std::shared_ptr<const Bytes> DataTree::Block(size_t index) const {
    if (index >= leaves_.size()) {
        throw Error(fmt::format("data block {} of {} requested", index, leaves_.size()));
    }
    return db_->ReadBlock(leaves_[index]);
}

Bytes DataTree::ReadAll(uint64_t limit) const {
    if (size_ > limit) {
        throw Error(fmt::format("value of {} bytes exceeds the limit of {} bytes", size_, limit));
    }
    Bytes out;
    out.reserve(size_);
    for (size_t i = 0; i < leaves_.size(); ++i) {
        auto b = Block(i);
        out.insert(out.end(), b->begin(), b->end());
    }
    return out;
}

namespace {

class DataTreeStream : public ByteStream {
  public:
    DataTreeStream(DataTree tree) : tree_(std::move(tree)) {}
    uint64_t Size() const override { return tree_.Size(); }
    uint64_t Tell() const override { return position_; }
    void Seek(uint64_t position) override { position_ = position; }

    size_t Read(uint8_t* out, size_t size) override {
        size_t done = 0;
        while (done < size && position_ < tree_.Size()) {
            Locate();
            auto block = tree_.Block(blockIndex_);
            uint64_t within = position_ - blockStart_;
            if (within >= block->size()) {
                throw Error("data tree stream: block sizes changed while reading");
            }
            size_t n = std::min<uint64_t>(size - done, block->size() - within);
            std::copy_n(block->data() + within, n, out + done);
            done += n;
            position_ += n;
        }
        return done;
    }

  private:
    // Moves the block cursor to the block holding position_ (forward walks are the common case).
    void Locate() {
        if (position_ < blockStart_) {
            blockIndex_ = 0;
            blockStart_ = 0;
        }
        for (;;) {
            uint64_t size = tree_.Block(blockIndex_)->size();
            if (position_ < blockStart_ + size) {
                return;
            }
            blockStart_ += size;
            ++blockIndex_;
        }
    }

    DataTree tree_;
    uint64_t position_ = 0;
    size_t blockIndex_ = 0;
    uint64_t blockStart_ = 0;
};

}  // namespace

std::unique_ptr<ByteStream> DataTree::OpenStream() const {
    return std::make_unique<DataTreeStream>(*this);
}

}  // namespace pst
