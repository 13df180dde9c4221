#pragma once
// Golden files of the client tests: the exact text a request must produce. Run the tests with
// TVK_UPDATE_GOLDEN=1 to write them afresh (then review the difference before committing).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/TestSupport.h"

namespace TestSupport {

inline std::filesystem::path TarvikTestDir() {
    return SourceDir() / "tests" / "tarvik";
}

inline void ExpectGolden(const std::string& name, const std::string& actual) {
    std::filesystem::path file = TarvikTestDir() / "golden" / name;
    if (const char* update = getenv("TVK_UPDATE_GOLDEN"); update != nullptr && *update == '1') {
        WriteFile(file, actual + "\n");
        return;
    }
    ASSERT_TRUE(std::filesystem::exists(file)) << file;
    std::string expected = ReadFile(file);
    if (!expected.empty() && expected.back() == '\n') {
        expected.pop_back();
    }
    EXPECT_EQ(actual, expected) << "golden file " << file;
}

}  // namespace TestSupport
