#pragma once
// Writes the node database of a new PST file: data blocks (encoded and, in 4 KiB-page files,
// compressed), data trees, subnode trees, both B-trees, the allocation maps and the header.
// Blocks are written as they come, so memory holds only the B-tree entries; Finish() writes the
// rest. Formats: Unicode, and Unicode with 4 KiB pages.

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pst/Bytes.h"
#include "pst/Crypt.h"
#include "pst/Header.h"

namespace pst {

struct SubnodeEntry {
    uint32_t nid = 0;
    uint64_t bidData = 0;
    uint64_t bidSub = 0;
};

class NdbWriter {
  public:
    // `padToInterval`: end the file at a whole allocation-map interval, as Outlook does; without
    // it the file ends after its last page (smaller fixtures, e.g. fuzzing seeds).
    NdbWriter(const std::string& path, Format format, Encryption encryption, uint32_t unique,
              bool padToInterval = true);
    ~NdbWriter();
    NdbWriter(const NdbWriter&) = delete;
    NdbWriter& operator=(const NdbWriter&) = delete;

    // The most a data block holds, and so the largest heap page.
    static constexpr size_t kMaxBlockData = 8176;

    // Any amount of data: one block, or leaf blocks under an XBLOCK (or XXBLOCK). Returns its BID.
    uint64_t WriteData(ByteSpan data);
    // Leaf blocks given by the caller (each at most kMaxBlockData), for data whose records must
    // not straddle blocks.
    uint64_t WriteDataTree(const std::vector<Bytes>& leaves);
    // A subnode tree (SLBLOCK, or SIBLOCK over SLBLOCKs); 0 for no entries.
    uint64_t WriteSubnodes(std::vector<SubnodeEntry> entries);

    void AddNode(uint32_t nid, uint64_t bidData, uint64_t bidSub, uint32_t nidParent);

    // Writes the B-trees, allocation maps and header and closes the file. `nextNids[type]` are
    // the next free node indexes per NID type.
    void Finish(const std::array<uint32_t, 32>& nextNids);

  private:
    struct BlockEntry {
        uint64_t bid, ib;
        uint16_t cb;
    };
    struct NodeEntry {
        uint32_t nid;
        uint64_t bidData, bidSub;
        uint32_t nidParent;
    };
    struct PageRef {
        uint64_t key, bid, ib;
    };

    uint64_t WriteBlock(ByteSpan data, bool internal);
    uint64_t Allocate(uint64_t size, uint64_t align);
    bool IsReserved(uint64_t offset) const;
    void WriteAt(uint64_t offset, ByteSpan data);
    void MarkAllocated(uint64_t offset, uint64_t size);
    PageRef WritePage(Bytes entries, size_t count, size_t entrySize, int level, uint8_t type,
                      uint64_t firstKey);
    template <typename Entry, typename Encode>
    Bref WriteBTree(const std::vector<Entry>& entries, size_t leafEntrySize, uint8_t type, Encode encode);
    void WriteMaps();
    void WriteHeader(const std::array<uint32_t, 32>& nextNids);

    std::string path_;
    FILE* file_ = nullptr;
    Format format_;
    Geometry geometry_;
    Encryption encryption_;
    uint32_t unique_;
    bool padToInterval_;
    uint64_t nextBlockIndex_ = 1;
    uint64_t nextPageIndex_ = 1;
    uint64_t end_ = 0;                // first offset not yet allocated
    std::vector<uint8_t> allocated_;  // one bit per allocation unit from the first map
    std::vector<BlockEntry> blocks_;
    std::vector<NodeEntry> nodes_;
    Bref nodeRoot_, blockRoot_;
    uint64_t lastMap_ = 0, freeBytes_ = 0;
};

}  // namespace pst
