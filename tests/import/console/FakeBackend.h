#pragma once
// A stand-in for the MAPI source and the import engine, for tests of the console run: each attempt
// walks a number of items, reporting errors and warnings where the plan says, guarding every item as
// the scanner does (a chosen item faults through the test hook), and records what it was asked to
// import. A plan can also make the whole job or the start of a file fault.

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "import/ImportBackend.h"

struct FakeImportPlan {
    int items = 3;
    std::set<int> errorItems;    // items (from 1) that report an error
    std::set<int> warningItems;  // items that report a warning
    std::set<int> faultItems;    // items whose processing faults
    bool jobFault = false;       // a fault in the job, outside the items' guards
    bool startFault = false;     // a fault while the file's profile is made, outside any guard
    std::string waitFor;         // before item waitAt the job waits until this file exists
    int waitAt = 1;
};

// "items=5 error=2 warning=3 fault=4 jobfault startfault wait=/path waitat=3" (any order; error,
// warning and fault may repeat).
FakeImportPlan ParseFakeImportPlan(std::string_view text);

// What one attempt was asked to import.
struct FakeImport {
    std::string pstPath;
    std::string account;
    std::string host;
    int32_t port = 0;
    std::string profile;
};

class FakeBackend final : public IImportBackend {
  public:
    explicit FakeBackend(FakeImportPlan plan) : plan_(std::move(plan)) {}

    bool CreateTemporaryProfile(ImportParams& params) override;
    std::unique_ptr<IImportSource> CreateSource(ImportParams& params) override;
    std::unique_ptr<IImportEngine> CreateEngine(ImportParams& params, IImportSource& source) override;

    std::vector<FakeImport> imports;
    std::vector<std::string> deletedProfiles;

  private:
    FakeImportPlan plan_;
    int profiles_ = 0;
};
