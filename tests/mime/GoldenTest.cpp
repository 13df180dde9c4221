// Every golden description must assemble to exactly its expected bytes. With TVK_UPDATE_GOLDEN=1
// the expected files are rewritten instead (review the diff before committing it).

#include <gtest/gtest.h>

#include <cstdlib>

#include "GoldenCase.h"
#include "tests/support/TestSupport.h"

namespace {

class Golden : public testing::TestWithParam<MimeTests::GoldenCase> {};

TEST_P(Golden, AssemblesToTheExpectedBytes) {
    const auto& golden = GetParam();
    auto description = nlohmann::json::parse(TestSupport::ReadFile(golden.description));
    auto message = MimeTests::BuildMessage(description);
    message->Assemble();
    std::string actual = message->AsString().Str();
    if (std::getenv("TVK_UPDATE_GOLDEN")) {
        TestSupport::WriteFile(golden.expected, actual);
        GTEST_SKIP() << "rewrote " << golden.expected;
    }
    ASSERT_TRUE(std::filesystem::exists(golden.expected)) << golden.expected;
    EXPECT_EQ(actual, TestSupport::ReadFile(golden.expected)) << description.value("about", "");
}

INSTANTIATE_TEST_SUITE_P(Mime, Golden, testing::ValuesIn(MimeTests::GoldenCases()), [](const auto& info) {
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

}  // namespace
