#pragma once
// The lowest layer of a PST file: the header, the node and block B-trees, blocks with their
// trailers, data trees (XBLOCK/XXBLOCK) and subnode trees (SLBLOCK/SIBLOCK). The file is opened
// read-only and read with pread through a bounded cache; nothing is ever written to it.
//
// Every offset, size, count and tree level read from the file is checked; a violation throws
// pst::Error naming the file. Trees are walked with strictly decreasing levels, so a cycle cannot
// make a walk run forever.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "pst/BlockCache.h"
#include "pst/Header.h"
#include "pst/Stream.h"

namespace pst {

// An entry of the node B-tree or of a subnode tree.
struct Node {
    uint32_t nid = 0;
    uint64_t bidData = 0;  // 0 = no data
    uint64_t bidSub = 0;   // 0 = no subnodes
    uint32_t nidParent = 0;
};

struct BlockRef {
    uint64_t bid = 0;
    uint64_t ib = 0;
    uint32_t cb = 0;  // bytes stored on disk (compressed size in 4 KiB-page files)
    uint16_t refCount = 0;
};

class DataTree;

class NodeDatabase {
  public:
    // Opens the file read-only and checks the header and both B-tree roots.
    // `verifyChecksums` false skips the CRCs of the header, pages and blocks (for fuzzing, so that
    // damage reaches the structures behind them; every other check stays).
    NodeDatabase(const std::string& path, size_t cacheBytes, bool verifyChecksums = true);
    ~NodeDatabase();
    NodeDatabase(const NodeDatabase&) = delete;
    NodeDatabase& operator=(const NodeDatabase&) = delete;

    const std::string& Path() const { return path_; }
    const Header& GetHeader() const { return header_; }
    const Geometry& GetGeometry() const { return geometry_; }
    uint64_t FileSize() const { return fileSize_; }

    std::optional<Node> FindNode(uint32_t nid);
    std::optional<BlockRef> FindBlock(uint64_t bid);
    // Every node of the node B-tree, in NID order.
    void ForEachNode(const std::function<void(const Node&)>& visit);

    // The decoded content of one block: trailer checked, inflated, decrypted.
    std::shared_ptr<const Bytes> ReadBlock(uint64_t bid);
    static bool IsInternal(uint64_t bid) { return (bid & 2) != 0; }

    DataTree OpenData(uint64_t bid);

    // Subnode trees.
    std::optional<Node> FindSubnode(uint64_t bidSub, uint32_t nid);
    void ForEachSubnode(uint64_t bidSub, const std::function<void(const Node&)>& visit);

  private:
    struct Page;
    std::shared_ptr<const Bytes> ReadPage(const Bref& ref, uint8_t pageType);
    std::shared_ptr<const Bytes> LoadPage(const Bref& ref, uint8_t pageType);
    std::shared_ptr<const Bytes> LoadBlock(uint64_t bid);
    Page ParsePage(const Bref& ref, uint8_t pageType);
    void ReadAt(uint64_t offset, uint8_t* out, size_t size);
    void WalkNodes(const Bref& ref, int expectedLevel, std::unordered_set<uint64_t>& seen,
                   const std::function<void(const Node&)>& visit);
    Node ParseNodeEntry(ByteSpan entry) const;
    void WalkSubnodes(uint64_t bid, int depth, const std::function<bool(const Node&)>& visit);

    std::string path_;
    int fd_ = -1;
    uint64_t fileSize_ = 0;
    Header header_;
    Geometry geometry_;
    BlockCache cache_;
    bool verifyChecksums_;
};

// The data of a node: one block or a tree of them, read lazily block by block.
class DataTree {
  public:
    DataTree() = default;
    DataTree(NodeDatabase& db, uint64_t bid);

    uint64_t Size() const { return size_; }
    size_t BlockCount() const { return leaves_.size(); }
    std::shared_ptr<const Bytes> Block(size_t index) const;
    // The whole content; throws when it is larger than `limit`.
    Bytes ReadAll(uint64_t limit) const;
    std::unique_ptr<ByteStream> OpenStream() const;

  private:
    void Collect(uint64_t bid, int level);

    NodeDatabase* db_ = nullptr;
    std::vector<uint64_t> leaves_;
    uint64_t size_ = 0;
};

}  // namespace pst
