#pragma once
// The record of what the server confirmed for one combination of PST file, server, port and target
// account, so that a repeated or interrupted import skips what already arrived. The file is a plain
// sequence of records, no header: a 4-byte little-endian length followed by that many bytes of an
// item's search key, in the order the server confirmed the items.
//
// Appended records are kept in memory until Commit(), which writes them in one go and forces them
// to disk: the batch code commits once per executed batch, so a crash or a killed process loses at
// most the batch being reconciled, never what earlier batches confirmed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

struct ImportParams;

// Fixed for every run of this program, so that every run finds the same file.
inline constexpr std::string_view progressLogSalt = "q7vxk2lnd8harvester";

class ProgressLog {
  public:
    ProgressLog() = default;
    ~ProgressLog();
    ProgressLog(const ProgressLog&) = delete;
    ProgressLog& operator=(const ProgressLog&) = delete;

    // workDirectory/<md5>_<sourceName>.status, where <md5> is the lower-case hexadecimal MD5 of the
    // UTF-16LE text salt + sourceName + serverName + port + targetAccount. The account-session port
    // is used even in administrative mode, so both modes share one record.
    static std::string PathFor(const ImportParams& params, std::string_view salt,
                               std::string_view sourceName);

    // Names and opens the file (logged, and added to params.logFiles) and loads its records. An
    // existing file is deleted first unless params.ignorePreviouslyImported is set. A record cut
    // short by a crash is dropped from the file. When the file cannot be opened nothing is skipped
    // and appends go nowhere; the import goes on without resume information.
    void OpenForImport(ImportParams& params, std::string_view salt, std::string_view sourceName);

    // False when `searchKey` is recorded; each stored record excuses exactly one item.
    bool ShouldImport(std::string_view searchKey);

    // Queues a record for the next Commit().
    void Append(std::string_view searchKey);

    // Writes the queued records and flushes them to disk. False (logged) when that failed; the
    // records are then dropped, which only means the items are imported again next time.
    bool Commit();

    // Commits, closes the file and frees the loaded records.
    void Close();

    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

    // What the options page shows about an existing record: how many items it holds and when it
    // was last written ("MM/DD/YYYY, HH:MM", UTC). Nothing when there is no readable file.
    struct ProbeResult {
        int32_t records = 0;
        std::string lastWrite;
    };
    static std::optional<ProbeResult> Probe(const ImportParams& params);

  private:
    void Load();

    std::string path_;
    int fd_ = -1;
    std::unordered_map<std::string, int32_t> remaining_;  // search key -> records not yet used
    std::string queued_;                                  // encoded records awaiting Commit()
};
