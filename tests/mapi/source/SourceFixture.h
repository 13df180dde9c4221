#pragma once
// What the source-side tests share: PST files built from the descriptions in tests/mapi/fixtures,
// a private settings store for the profiles, a PST opened the way the import worker opens it, and
// recording handler and progress sink.

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mapi/IItemHandler.h"
#include "mapi/Session.h"
#include "mapi/Store.h"
#include "runtime/ImportParams.h"

namespace SourceFixture {

// The PST built from fixtures/<name>.json (once per process).
std::filesystem::path BuildPst(const std::string& name);

// Sets the job record to its defaults for a test (the restriction fall-back flag included), with
// `progress` as the sink, and MAPI initialised on this thread.
void ResetJob(IImportProgress* progress = nullptr);

// A PST opened as the worker opens it: temporary profile, logon, default store.
struct OpenedPst {
    Tarvik::MAPI::Session session;
    Tarvik::MAPI::Store store;
};
std::unique_ptr<OpenedPst> Open(const std::filesystem::path& pst);

// A folder by its path below the IPM subtree ("Inbox/Projects"); "" is the subtree itself.
Tarvik::MAPI::Folder FindFolder(Tarvik::MAPI::Store& store, const std::string& path);

// The subject of an item by entry id.
std::string SubjectOf(IMAPISession& session, const EntryId& entryId);

class RecordingProgress : public IImportProgress {
  public:
    void BeginAccount(const std::string&) override {}
    void ReportError(const std::string& message) override { errors.push_back(message); }
    void ReportWarning(const std::string& message) override { warnings.push_back(message); }
    void SetTotal(int64_t count) override { total = count; }
    void Step() override { ++steps; }
    void SetDone(int64_t count) override { done = count; }
    void Finished() override {}
    void SetStatus(const std::string& text) override { status = text; }

    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    int64_t total = -1;
    int64_t done = -1;
    int64_t steps = 0;
    std::string status;
};

// Records every call as "<operation> <folder path or subject>" and keeps the folders it enters.
class RecordingHandler : public Tarvik::MAPI::IItemHandler {
  public:
    bool OnEnterFolder(Tarvik::MAPI::Folder& folder, Tarvik::MAPI::Folder& parent) override;
    void OnLeaveFolder(Tarvik::MAPI::Folder& folder) override;
    bool ShouldImport(const std::string& searchKey) override;
    void OnNewMessage(Tarvik::MAPI::Message& message, Tarvik::MAPI::Folder& folder) override;
    void OnNewContact(Tarvik::MAPI::Message& message, Tarvik::MAPI::Folder& folder) override;
    void OnNewAppointmentOrTask(Tarvik::MAPI::Message& message, Tarvik::MAPI::Folder& folder) override;
    void OnNewMeetingMessage(Tarvik::MAPI::Message& message, Tarvik::MAPI::Folder& folder) override;

    std::vector<std::string> calls;
    std::vector<Tarvik::MAPI::Folder> folders;  // every folder entered
    std::map<std::string, int> kinds;           // operation -> count
    std::vector<std::string> importedKeys;      // search keys answered "new"
    std::vector<std::string> knownKeys;         // ShouldImport answers false for these
    std::vector<std::string> notEntered;        // folder paths OnEnterFolder answers false for

  protected:
    virtual void Item(const char* operation, Tarvik::MAPI::Message& message);
};

}  // namespace SourceFixture
