// Keeps the tests away from the user's own settings and work directory: every test process gets an
// empty settings file and work directory of its own, and the default texts.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "runtime/Text.h"
#include "tests/support/TestSupport.h"

namespace {

class IsolatedSettings : public ::testing::Environment {
  public:
    void SetUp() override {
        directory_ = std::make_unique<TestSupport::TempDir>();
        setenv("TVKIMPORT_REGISTRY", (directory_->Path() / "registry.ini").c_str(), 1);
        setenv("TVKIMPORT_WORKDIR", (directory_->Path() / "work").c_str(), 1);
        setenv("LC_ALL", "C", 1);
        LoadTextTable(TextLanguage::Default);
    }
    void TearDown() override { directory_.reset(); }

  private:
    std::unique_ptr<TestSupport::TempDir> directory_;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new IsolatedSettings);

}  // namespace
