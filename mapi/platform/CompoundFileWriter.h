#pragma once
// Writes a compound file (OLE structured storage, the container of Outlook message files): a tree of
// storages and streams under a root storage. Streams may be of any size; large ones are copied from
// their source in pieces straight into the file, small ones (under 4096 bytes) are kept in memory
// and packed into the mini stream when the file is committed.
//
// The file is built as a temporary file (mode 0600) in the destination folder and renamed into place
// by Commit() only when it is complete: a reader never sees a half-written file, and a writer that
// is destroyed without committing (a failure along the way) leaves nothing behind.
//
// Names are 1 to 31 ASCII characters other than NUL, / \ : and !, unique within their storage
// regardless of case. Version 3 files (512-byte sectors) hold streams up to 2 GiB; version 4
// files (4096-byte sectors) have no such limit.

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "mapi/platform/ByteSource.h"

namespace cfb {

// A class identifier in its stored form (Data1..Data3 little-endian).
struct Clsid {
    std::array<uint8_t, 16> bytes{};

    // "{00020D0B-0000-0000-C000-000000000046}" (braces optional); throws std::invalid_argument.
    static Clsid Parse(std::string_view text);
    auto operator<=>(const Clsid&) const = default;
};

// Creating, writing or renaming the file failed; the message names the file.
class CompoundFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A stream too large for a version 3 file; written as version 4 it fits.
class StreamTooLargeError : public CompoundFileError {
  public:
    using CompoundFileError::CompoundFileError;
};

enum class CompoundFileVersion { V3 = 3, V4 = 4 };

class CompoundFileWriter {
  public:
    using EntryId = uint32_t;  // a storage or stream of the file being written
    static constexpr EntryId kRoot = 0;

    // Creates the temporary file beside `path`. Throws CompoundFileError.
    explicit CompoundFileWriter(std::filesystem::path path,
                                CompoundFileVersion version = CompoundFileVersion::V3);
    // Removes the temporary file unless Commit() succeeded.
    ~CompoundFileWriter();
    CompoundFileWriter(const CompoundFileWriter&) = delete;
    CompoundFileWriter& operator=(const CompoundFileWriter&) = delete;

    void SetClsid(EntryId storage, const Clsid& clsid);
    EntryId AddStorage(EntryId parent, std::string_view name, const Clsid& clsid = {});
    void AddStream(EntryId parent, std::string_view name, std::string_view data);
    // Copies the source to its end; returns the number of bytes copied. Errors of the source
    // propagate; the file is then unusable (destroy it without committing).
    uint64_t AddStream(EntryId parent, std::string_view name, ByteSource& source);

    // Writes the mini stream, directory and allocation tables and the header, flushes the file to
    // disk and renames it to the path given at construction (replacing a file of that name).
    void Commit();

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace cfb
