// The process entry on a real display: a preview request without a usable
// window handle ends at once and touches nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/system/harness.h"

namespace systest {
namespace {

class EntrySystemTest : public ::testing::TestWithParam<Target> {};

TEST_P(EntrySystemTest, PreviewWithoutAUsableHandleEndsAtOnceTouchingNothing) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"/p"}, {"/p:4711"}, {"/p", "abc"}, {"/p", "0"}}) {
    Sandbox sandbox(GetParam());
    const auto tempBefore = Sandbox::listDir(sandbox.tempDir());
    const auto windowsBefore = Screen::get().topLevelWindows().size();
    Program program(sandbox, arguments);
    // Wine itself needs a moment to start the program; the program adds
    // nothing to it.
    const double limit = GetParam() == Target::Windows ? 5.0 : 1.0;
    const auto code = program.waitExit(limit);
    ASSERT_TRUE(code.has_value()) << arguments[0] << " still runs after " << limit << " s";
    EXPECT_EQ(*code, 0) << program.output();
    EXPECT_EQ(Screen::get().topLevelWindows().size(), windowsBefore);
    EXPECT_FALSE(std::filesystem::exists(sandbox.settingsFile()));
    EXPECT_EQ(Sandbox::listDir(sandbox.tempDir()), tempBefore);
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, EntrySystemTest, ::testing::Values(Target::Linux, Target::Windows),
                         [](const auto& p) { return targetName(p.param); });

}  // namespace
}  // namespace systest
