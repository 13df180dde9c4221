// tvkimport with the fake source and engine of FakeBackend.h instead of the real ones: the plan
// comes from the environment variable TVK_FAKE_IMPORT (see ParseFakeImportPlan).

#include <cstdlib>
#include <string>
#include <vector>

#include "import/console/CommandLineApp.h"
#include "tests/import/console/FakeBackend.h"

int main(int argc, char** argv) {
    const char* plan = getenv("TVK_FAKE_IMPORT");
    FakeBackend backend(ParseFakeImportPlan(plan != nullptr ? plan : ""));
    return RunTvkImport(std::vector<std::string>(argv + 1, argv + argc), backend);
}
