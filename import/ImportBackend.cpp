#include "import/ImportBackend.h"

#include <stdexcept>

namespace {

// Stands in until the MAPI source and the import engine are part of the build: job files, account
// checks and the console run all work, and every PST file is refused with this explanation.
class MissingEngine final : public IImportBackend {
  public:
    bool CreateTemporaryProfile(ImportParams&) override { throw Unavailable(); }
    std::unique_ptr<IImportSource> CreateSource(ImportParams&) override { throw Unavailable(); }
    std::unique_ptr<IImportEngine> CreateEngine(ImportParams&, IImportSource&) override {
        throw Unavailable();
    }

  private:
    static std::runtime_error Unavailable() {
        return std::runtime_error(
            "this build of tvkimport has no import engine yet; the file was not imported");
    }
};

}  // namespace

std::unique_ptr<IImportBackend> CreateImportBackend() {
    return std::make_unique<MissingEngine>();
}
