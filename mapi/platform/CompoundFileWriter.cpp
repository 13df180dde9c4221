#include "mapi/platform/CompoundFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

namespace cfb {

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFatSector = 0xFFFFFFFD;
constexpr uint32_t kDifatSector = 0xFFFFFFFC;
constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kNoStream = 0xFFFFFFFF;

constexpr uint32_t kMiniStreamCutoff = 4096;
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint32_t kHeaderDifatCount = 109;
constexpr uint32_t kDirectoryEntrySize = 128;
constexpr uint64_t kMaxV3StreamSize = 0x80000000;
constexpr size_t kCopyBufferSize = 1 << 16;
constexpr size_t kMaxNameLength = 31;

enum class EntryType : uint8_t { Storage = 1, Stream = 2, Root = 5 };

struct Entry {
    std::string name;
    EntryType type = EntryType::Stream;
    std::vector<CompoundFileWriter::EntryId> children;  // storages only
    Clsid clsid;
    uint32_t startSector = kEndOfChain;  // in mini sectors for streams kept in the mini stream
    uint64_t size = 0;
    uint32_t left = kNoStream;
    uint32_t right = kNoStream;
    uint32_t child = kNoStream;
    bool red = false;
};

// Every chain this writer makes occupies consecutive sectors.
struct Run {
    uint32_t start = 0;
    uint32_t count = 0;
};

void PutLE(std::string& out, size_t offset, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out[offset + i] = static_cast<char>(value >> (8 * i));
    }
}

uint32_t CeilDiv(uint64_t value, uint64_t divisor) {
    return static_cast<uint32_t>((value + divisor - 1) / divisor);
}

bool IsValidName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameLength)
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u > 0 && u < 0x80 && c != '/' && c != '\\' && c != ':' && c != '!';
    });
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Sibling order: shorter names first, then by upper-case characters.
bool NameLess(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return a.size() < b.size();
    for (size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i]))
            return Upper(a[i]) < Upper(b[i]);
    }
    return false;
}

bool NameEqual(std::string_view a, std::string_view b) {
    return !NameLess(a, b) && !NameLess(b, a);
}

std::string ErrnoText() {
    return std::generic_category().message(errno);
}

}  // namespace

Clsid Clsid::Parse(std::string_view text) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
        text = text.substr(1, 36);
    }
    std::string hex;
    for (size_t i = 0; i < text.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash != (text[i] == '-') || (!dash && !isxdigit(static_cast<unsigned char>(text[i])))) {
            throw std::invalid_argument("not a class identifier: " + std::string(text));
        }
        if (!dash)
            hex += text[i];
    }
    if (hex.size() != 32)
        throw std::invalid_argument("not a class identifier: " + std::string(text));
    auto byteAt = [&](size_t i) {
        return static_cast<uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    };
    // Data1, Data2 and Data3 are stored little-endian, Data4 as written.
    static constexpr size_t kTextOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    Clsid clsid;
    for (size_t i = 0; i < 16; ++i)
        clsid.bytes[i] = byteAt(kTextOrder[i]);
    return clsid;
}

class CompoundFileWriter::Impl {
  public:
    Impl(fs::path path, CompoundFileVersion version);
    ~Impl();

    void SetClsid(EntryId storage, const Clsid& clsid) { StorageAt(storage).clsid = clsid; }
    EntryId AddStorage(EntryId parent, std::string_view name, const Clsid& clsid);
    void AddSmallStream(EntryId parent, std::string_view name, std::string_view data);
    uint64_t AddStream(EntryId parent, std::string_view name, ByteSource& source);
    void Commit();

  private:
    Entry& StorageAt(EntryId id);
    EntryId AddEntry(EntryId parent, std::string_view name, EntryType type);
    void CheckUsable() const;
    void CheckNewName(EntryId parent, std::string_view name);
    Run AppendRun(std::string_view data);
    void WriteAll(const void* data, size_t size);
    void WriteAt(uint64_t offset, std::string_view data);
    void PadToSector(uint64_t bytesInRun);
    Run WriteMiniFat();
    Run WriteDirectory();
    void WriteFatAndHeader(const Run& miniFat, const Run& directory);
    std::string BuildHeader(const Run& miniFat, const Run& directory, const Run& fat, const Run& difat) const;
    void LinkTree(EntryId storage);
    uint32_t BuildSubtree(const std::vector<EntryId>& sorted, size_t begin, size_t end, int depth,
                          int redDepth);
    std::string EncodeEntry(const Entry& entry) const;
    void Fail(const std::string& what) const;

    fs::path path_;
    fs::path temporaryPath_;
    CompoundFileVersion version_;
    uint32_t sectorSize_;
    int fd_ = -1;
    bool committed_ = false;
    bool broken_ = false;  // a write or a source failed half-way: the file must not be committed
    std::vector<Entry> entries_;
    std::vector<Run> runs_;    // every chain of regular sectors, in file order
    uint32_t nextSector_ = 0;  // regular sectors written so far
    std::string miniStream_;   // the small streams, each padded to whole mini sectors
    std::vector<Run> miniRuns_;
};

CompoundFileWriter::Impl::Impl(fs::path path, CompoundFileVersion version)
    : path_(std::move(path)),
      version_(version),
      sectorSize_(version == CompoundFileVersion::V3 ? 512 : 4096) {
    fs::path directory = path_.parent_path().empty() ? fs::path(".") : path_.parent_path();
    std::string pattern = (directory / ("." + path_.filename().string() + ".XXXXXX")).string();
    fd_ = mkstemp(pattern.data());
    if (fd_ < 0)
        Fail("cannot create a temporary file in " + directory.string() + ": " + ErrnoText());
    temporaryPath_ = pattern;
    try {
        if (fchmod(fd_, 0600) != 0)
            Fail("cannot set the mode of the temporary file: " + ErrnoText());
        // The header sector is written last; keep its place.
        WriteAll(std::string(sectorSize_, '\0').data(), sectorSize_);
    } catch (...) {
        close(fd_);
        unlink(temporaryPath_.c_str());
        throw;
    }
    Entry root;
    root.name = "Root Entry";
    root.type = EntryType::Root;
    entries_.push_back(root);
}

CompoundFileWriter::Impl::~Impl() {
    if (fd_ >= 0)
        close(fd_);
    if (!committed_ && !temporaryPath_.empty())
        unlink(temporaryPath_.c_str());
}

void CompoundFileWriter::Impl::Fail(const std::string& what) const {
    throw CompoundFileError(path_.string() + ": " + what);
}

Entry& CompoundFileWriter::Impl::StorageAt(EntryId id) {
    if (id >= entries_.size() || entries_[id].type == EntryType::Stream) {
        throw std::invalid_argument(path_.string() + ": no storage with id " + std::to_string(id));
    }
    return entries_[id];
}

void CompoundFileWriter::Impl::CheckUsable() const {
    if (committed_)
        throw std::logic_error(path_.string() + ": the file is already committed");
    if (broken_)
        throw std::logic_error(path_.string() + ": an earlier write failed");
}

void CompoundFileWriter::Impl::CheckNewName(EntryId parent, std::string_view name) {
    CheckUsable();
    if (!IsValidName(name)) {
        throw std::invalid_argument(path_.string() + ": not a valid storage or stream name: \"" +
                                    std::string(name) + "\"");
    }
    for (EntryId sibling : StorageAt(parent).children) {
        if (NameEqual(entries_[sibling].name, name)) {
            throw std::invalid_argument(path_.string() + ": the name \"" + std::string(name) +
                                        "\" is already used in its storage");
        }
    }
}

CompoundFileWriter::EntryId CompoundFileWriter::Impl::AddEntry(EntryId parent, std::string_view name,
                                                               EntryType type) {
    auto id = static_cast<EntryId>(entries_.size());
    Entry entry;
    entry.name = name;
    entry.type = type;
    entries_.push_back(std::move(entry));
    entries_[parent].children.push_back(id);
    return id;
}

CompoundFileWriter::EntryId CompoundFileWriter::Impl::AddStorage(EntryId parent, std::string_view name,
                                                                 const Clsid& clsid) {
    CheckNewName(parent, name);
    EntryId id = AddEntry(parent, name, EntryType::Storage);
    entries_[id].clsid = clsid;
    entries_[id].startSector = 0;
    return id;
}

void CompoundFileWriter::Impl::AddSmallStream(EntryId parent, std::string_view name, std::string_view data) {
    EntryId id = AddEntry(parent, name, EntryType::Stream);
    entries_[id].size = data.size();
    if (data.empty())
        return;
    Run run{static_cast<uint32_t>(miniStream_.size() / kMiniSectorSize),
            CeilDiv(data.size(), kMiniSectorSize)};
    entries_[id].startSector = run.start;
    miniStream_.append(data);
    miniStream_.resize(static_cast<size_t>(run.start + run.count) * kMiniSectorSize, '\0');
    miniRuns_.push_back(run);
}

uint64_t CompoundFileWriter::Impl::AddStream(EntryId parent, std::string_view name, ByteSource& source) {
    CheckNewName(parent, name);
    // Only a stream's length decides where it goes: read up to the cutoff before choosing.
    std::string head(kMiniStreamCutoff, '\0');
    size_t headSize = 0;
    while (headSize < head.size()) {
        size_t got = source.Read(reinterpret_cast<uint8_t*>(head.data()) + headSize, head.size() - headSize);
        if (got == 0)
            break;
        headSize += got;
    }
    if (headSize < kMiniStreamCutoff) {
        AddSmallStream(parent, name, std::string_view(head).substr(0, headSize));
        return headSize;
    }
    broken_ = true;
    uint32_t start = nextSector_;
    uint64_t total = headSize;
    WriteAll(head.data(), headSize);
    std::vector<uint8_t> buffer(kCopyBufferSize);
    for (size_t got; (got = source.Read(buffer.data(), buffer.size())) > 0;) {
        total += got;
        if (version_ == CompoundFileVersion::V3 && total > kMaxV3StreamSize) {
            throw StreamTooLargeError(path_.string() + ": the stream \"" + std::string(name) +
                                      "\" is larger than a version 3 compound file can hold");
        }
        WriteAll(buffer.data(), got);
    }
    PadToSector(total);
    Run run{start, CeilDiv(total, sectorSize_)};
    if (uint64_t{start} + run.count > kMaxRegularSector)
        Fail("the file is too large");
    runs_.push_back(run);
    nextSector_ = start + run.count;
    broken_ = false;
    EntryId id = AddEntry(parent, name, EntryType::Stream);
    entries_[id].startSector = start;
    entries_[id].size = total;
    return total;
}

void CompoundFileWriter::Impl::WriteAll(const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t written = write(fd_, bytes, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            Fail("cannot write: " + ErrnoText());
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
}

void CompoundFileWriter::Impl::WriteAt(uint64_t offset, std::string_view data) {
    while (!data.empty()) {
        ssize_t written = pwrite(fd_, data.data(), data.size(), static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            Fail("cannot write: " + ErrnoText());
        }
        data.remove_prefix(static_cast<size_t>(written));
        offset += static_cast<uint64_t>(written);
    }
}

void CompoundFileWriter::Impl::PadToSector(uint64_t bytesInRun) {
    size_t tail = bytesInRun % sectorSize_;
    if (tail != 0)
        WriteAll(std::string(sectorSize_ - tail, '\0').data(), sectorSize_ - tail);
}

Run CompoundFileWriter::Impl::AppendRun(std::string_view data) {
    if (data.empty())
        return Run{kEndOfChain, 0};
    Run run{nextSector_, CeilDiv(data.size(), sectorSize_)};
    if (static_cast<uint64_t>(run.start) + run.count > kMaxRegularSector)
        Fail("the file is too large");
    WriteAll(data.data(), data.size());
    PadToSector(data.size());
    runs_.push_back(run);
    nextSector_ += run.count;
    return run;
}

void CompoundFileWriter::Impl::Commit() {
    CheckUsable();
    broken_ = true;
    Entry& root = entries_[kRoot];
    Run miniStream = AppendRun(miniStream_);
    root.startSector = miniStream.start;
    root.size = miniStream_.size();
    Run miniFat = WriteMiniFat();
    LinkTree(kRoot);
    Run directory = WriteDirectory();
    WriteFatAndHeader(miniFat, directory);
    if (fsync(fd_) != 0)
        Fail("cannot write: " + ErrnoText());
    if (close(fd_) != 0) {
        fd_ = -1;
        Fail("cannot write: " + ErrnoText());
    }
    fd_ = -1;
    if (rename(temporaryPath_.c_str(), path_.c_str()) != 0)
        Fail("cannot rename the finished file: " + ErrnoText());
    committed_ = true;
    broken_ = false;
}

Run CompoundFileWriter::Impl::WriteMiniFat() {
    uint32_t miniSectors = static_cast<uint32_t>(miniStream_.size() / kMiniSectorSize);
    if (miniSectors == 0)
        return Run{kEndOfChain, 0};
    std::string table(static_cast<size_t>(CeilDiv(miniSectors * 4ull, sectorSize_)) * sectorSize_, '\xFF');
    for (const Run& run : miniRuns_) {
        for (uint32_t i = 0; i < run.count; ++i) {
            uint32_t next = i + 1 < run.count ? run.start + i + 1 : kEndOfChain;
            PutLE(table, 4ull * (run.start + i), next, 4);
        }
    }
    return AppendRun(table);
}

// Children of a storage form a balanced binary search tree in sibling order. The levels above the
// deepest are black and a partly filled deepest level is red, so every path from the top down to a
// missing child passes the same number of black entries and no red entry has a red child: a valid
// red-black tree, as readers that insert into it expect.
void CompoundFileWriter::Impl::LinkTree(EntryId storage) {
    std::vector<EntryId> sorted = entries_[storage].children;
    std::sort(sorted.begin(), sorted.end(),
              [&](EntryId a, EntryId b) { return NameLess(entries_[a].name, entries_[b].name); });
    int levels = 0;
    while ((size_t{1} << levels) - 1 < sorted.size())
        ++levels;
    bool full = sorted.size() == (size_t{1} << levels) - 1;
    int redDepth = full ? -1 : levels - 1;
    entries_[storage].child = BuildSubtree(sorted, 0, sorted.size(), 0, redDepth);
    for (EntryId child : sorted) {
        if (entries_[child].type == EntryType::Storage)
            LinkTree(child);
    }
}

uint32_t CompoundFileWriter::Impl::BuildSubtree(const std::vector<EntryId>& sorted, size_t begin, size_t end,
                                                int depth, int redDepth) {
    if (begin >= end)
        return kNoStream;
    size_t middle = begin + (end - begin) / 2;
    Entry& node = entries_[sorted[middle]];
    node.red = depth == redDepth;
    node.left = BuildSubtree(sorted, begin, middle, depth + 1, redDepth);
    node.right = BuildSubtree(sorted, middle + 1, end, depth + 1, redDepth);
    return sorted[middle];
}

std::string CompoundFileWriter::Impl::EncodeEntry(const Entry& entry) const {
    std::string out(kDirectoryEntrySize, '\0');
    for (size_t i = 0; i < entry.name.size(); ++i)
        out[2 * i] = entry.name[i];
    PutLE(out, 64, 2 * (entry.name.size() + 1), 2);
    out[66] = static_cast<char>(entry.type);
    out[67] = entry.red ? 0 : 1;
    PutLE(out, 68, entry.left, 4);
    PutLE(out, 72, entry.right, 4);
    PutLE(out, 76, entry.child, 4);
    std::copy(entry.clsid.bytes.begin(), entry.clsid.bytes.end(), out.begin() + 80);
    PutLE(out, 116, entry.startSector, 4);
    PutLE(out, 120, entry.size, 8);
    return out;
}

Run CompoundFileWriter::Impl::WriteDirectory() {
    std::string directory;
    for (const Entry& entry : entries_)
        directory += EncodeEntry(entry);
    // Unused entries fill the last sector: all zero but for their three links.
    std::string unused(kDirectoryEntrySize, '\0');
    PutLE(unused, 68, kNoStream, 4);
    PutLE(unused, 72, kNoStream, 4);
    PutLE(unused, 76, kNoStream, 4);
    while (directory.size() % sectorSize_ != 0)
        directory += unused;
    return AppendRun(directory);
}

void CompoundFileWriter::Impl::WriteFatAndHeader(const Run& miniFat, const Run& directory) {
    const uint32_t perSector = sectorSize_ / 4;
    // The FAT describes itself and the DIFAT too: grow both until they cover every sector.
    uint32_t fatSectors = 0;
    uint32_t difatSectors = 0;
    for (;;) {
        uint64_t total = uint64_t{nextSector_} + fatSectors + difatSectors;
        uint32_t needFat = CeilDiv(total, perSector);
        uint32_t needDifat =
            needFat > kHeaderDifatCount ? CeilDiv(needFat - kHeaderDifatCount, perSector - 1) : 0;
        if (needFat == fatSectors && needDifat == difatSectors)
            break;
        fatSectors = needFat;
        difatSectors = needDifat;
    }
    if (uint64_t{nextSector_} + fatSectors + difatSectors > kMaxRegularSector)
        Fail("the file is too large");
    Run fat{nextSector_, fatSectors};
    Run difat{difatSectors ? nextSector_ + fatSectors : kEndOfChain, difatSectors};

    std::string table(static_cast<size_t>(fatSectors) * sectorSize_, '\xFF');
    for (const Run& run : runs_) {
        for (uint32_t i = 0; i < run.count; ++i) {
            PutLE(table, 4ull * (run.start + i), i + 1 < run.count ? run.start + i + 1 : kEndOfChain, 4);
        }
    }
    for (uint32_t i = 0; i < fatSectors; ++i)
        PutLE(table, 4ull * (fat.start + i), kFatSector, 4);
    for (uint32_t i = 0; i < difatSectors; ++i)
        PutLE(table, 4ull * (difat.start + i), kDifatSector, 4);
    WriteAll(table.data(), table.size());

    // FAT sectors beyond the header's 109 are listed in DIFAT sectors, each ending with the next one.
    std::string difatTable(static_cast<size_t>(difatSectors) * sectorSize_, '\xFF');
    for (uint32_t i = kHeaderDifatCount; i < fatSectors; ++i) {
        uint32_t index = i - kHeaderDifatCount;
        uint32_t sector = index / (perSector - 1);
        PutLE(difatTable, static_cast<size_t>(sector) * sectorSize_ + 4 * (index % (perSector - 1)),
              fat.start + i, 4);
    }
    for (uint32_t sector = 0; sector < difatSectors; ++sector) {
        uint32_t next = sector + 1 < difatSectors ? difat.start + sector + 1 : kEndOfChain;
        PutLE(difatTable, static_cast<size_t>(sector + 1) * sectorSize_ - 4, next, 4);
    }
    WriteAll(difatTable.data(), difatTable.size());
    WriteAt(0, BuildHeader(miniFat, directory, fat, difat));
}

std::string CompoundFileWriter::Impl::BuildHeader(const Run& miniFat, const Run& directory, const Run& fat,
                                                  const Run& difat) const {
    std::string header(512, '\0');
    static constexpr char kSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    std::copy(kSignature, kSignature + 8, header.begin());
    PutLE(header, 24, 0x003E, 2);  // minor version
    PutLE(header, 26, static_cast<uint16_t>(version_), 2);
    PutLE(header, 28, 0xFFFE, 2);  // little-endian byte order mark
    PutLE(header, 30, version_ == CompoundFileVersion::V3 ? 9 : 12, 2);
    PutLE(header, 32, 6, 2);  // 64-byte mini sectors
    PutLE(header, 40, version_ == CompoundFileVersion::V3 ? 0 : directory.count, 4);
    PutLE(header, 44, fat.count, 4);
    PutLE(header, 48, directory.start, 4);
    PutLE(header, 56, kMiniStreamCutoff, 4);
    PutLE(header, 60, miniFat.start, 4);
    PutLE(header, 64, miniFat.count, 4);
    PutLE(header, 68, difat.start, 4);
    PutLE(header, 72, difat.count, 4);
    for (uint32_t i = 0; i < kHeaderDifatCount; ++i) {
        PutLE(header, 76 + 4 * i, i < fat.count ? fat.start + i : kFreeSector, 4);
    }
    return header;
}

CompoundFileWriter::CompoundFileWriter(std::filesystem::path path, CompoundFileVersion version)
    : impl_(std::make_unique<Impl>(std::move(path), version)) {}

CompoundFileWriter::~CompoundFileWriter() = default;

void CompoundFileWriter::SetClsid(EntryId storage, const Clsid& clsid) {
    impl_->SetClsid(storage, clsid);
}

CompoundFileWriter::EntryId CompoundFileWriter::AddStorage(EntryId parent, std::string_view name,
                                                           const Clsid& clsid) {
    return impl_->AddStorage(parent, name, clsid);
}

void CompoundFileWriter::AddStream(EntryId parent, std::string_view name, std::string_view data) {
    MemorySource source(data);
    impl_->AddStream(parent, name, source);
}

uint64_t CompoundFileWriter::AddStream(EntryId parent, std::string_view name, ByteSource& source) {
    return impl_->AddStream(parent, name, source);
}

void CompoundFileWriter::Commit() {
    impl_->Commit();
}

}  // namespace cfb
