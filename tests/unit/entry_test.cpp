// Choosing the run mode from the command line, and reading numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "app/entry.h"
#include "app/mode_selection.h"
#include "common/decimal.h"
#include "platform/process.h"
#include "tests/fake/fake_platform.h"

namespace velmora {
namespace {

struct ModeCase {
  std::vector<std::string> arguments;
  RunMode mode;
  std::int32_t hostWindow;
};

TEST(ModeSelection, CommandLinesGiveTheirModes) {
  const std::vector<ModeCase> cases = {
      {{}, RunMode::Show, 0},
      {{"/s"}, RunMode::Show, 0},
      {{"/S"}, RunMode::Show, 0},
      {{"-x", "anything"}, RunMode::Show, 0},
      {{"/c"}, RunMode::Config, 0},
      {{"/C"}, RunMode::Config, 0},
      {{"/c:4711"}, RunMode::Config, 0},
      {{"/p", "4711", "/c"}, RunMode::Config, 0},
      {{"/p", "4711"}, RunMode::Preview, 4711},
      {{"/P", "4711"}, RunMode::Preview, 4711},
      {{"/p4711"}, RunMode::Preview, 4711},
      {{"/p", "1234"}, RunMode::Preview, 1234},
      {{"/p1234"}, RunMode::Preview, 1234},
      {{"/p", "", "", "1234", "/x"}, RunMode::Preview, 1234},  // several blanks
      {{"/p   1234 /x"}, RunMode::Preview, 1234},              // one quoted argument
      {{"/p"}, RunMode::Exit, 0},
      {{"/p:4711"}, RunMode::Exit, 0},
      {{"/p", "abc"}, RunMode::Exit, 0},
      {{"/p", "0"}, RunMode::Exit, 0},
      {{"/p", "12.5"}, RunMode::Preview, 12},
      {{"/p", "13.5"}, RunMode::Preview, 14},
      {{"/p", "-7"}, RunMode::Preview, -7},
      {{"/p", "0x10"}, RunMode::Exit, 0},  // decimal only: "0", then "x10"
      {{"/p", "1e3"}, RunMode::Preview, 1000},
      {{"/p", "1e10"}, RunMode::Preview, std::numeric_limits<std::int32_t>::min()},
      {{"/p", "inf"}, RunMode::Exit, 0},
      {{"/p", "nan"}, RunMode::Exit, 0},
      {{"/p 7 /p 9"}, RunMode::Preview, 7},  // the first "/p" counts
      {{"x/px", "5"}, RunMode::Exit, 0},     // "x 5" is no number
  };
  for (const ModeCase& c : cases) {
    std::string shown;
    for (const auto& a : c.arguments) shown += "[" + a + "]";
    const ModeChoice choice = selectMode(commandTextFrom(c.arguments));
    EXPECT_EQ(choice.mode, c.mode) << shown;
    EXPECT_EQ(choice.hostWindow, c.hostWindow) << shown;
  }
}

TEST(ModeSelection, CommandTextJoinsWithSingleBlanksAndFoldsAsciiOnly) {
  const std::vector<std::string> arguments = {"/P", "Hello World", "\xC0\xE9Z"};
  EXPECT_EQ(commandTextFrom(arguments), "/p hello world \xC0\xE9z");
  EXPECT_EQ(commandTextFrom(std::vector<std::string>{}), "");
}

TEST(ModeSelection, TheProgramPathIsNeverPartOfTheCommandText) {
  // The platform hands over the arguments after the path; a path holding
  // "/c" or "/p" therefore changes nothing.
  fake::reset();
  fake::setArguments({"/p", "0"});
  EXPECT_EQ(fake::runUntilExit([] { runProcess(platform::arguments()); }), 0);
  EXPECT_EQ(fake::surfaceKind(), fake::SurfaceKind::None);
}

TEST(ProcessEntry, PreviewWithoutAUsableHandleEndsAtOnceWithZero) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{{"/p"}, {"/p:4711"}, {"/p", "abc"}, {"/p", "0"}}) {
    fake::reset();
    EXPECT_EQ(fake::runUntilExit([&] { runProcess(arguments); }), 0);
    EXPECT_TRUE(fake::pauses().empty());
    EXPECT_EQ(fake::surfaceKind(), fake::SurfaceKind::None);
  }
}

TEST(DecimalReader, ReadsDecimalNumbersOnly) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"", 0},          {"   ", 0},       {"42", 42},        {"  42abc", 42},   {"+7", 7},
      {"-7", -7},       {"12.5", 12.5},   {".5", 0.5},       {"5.", 5},         {".", 0},
      {"-", 0},         {"1e3", 1000},    {"1E3", 1000},     {"1e", 1},         {"1e+", 1},
      {"2.5e-1", 0.25}, {"0x10", 0},      {"inf", 0},        {"nan", 0},        {"\t5", 0},
      {"1e-400", 0},    {"0.0001e-320", 0}, {"- 5", 0},      {"007", 7},        {"1,5", 1},
      // Exponents at the very end of a long's range.
      {"0.0001e-9223372036854775808", 0}, {"1e-9223372036854775807", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(readDecimal(c.text), c.value) << c.text;
  EXPECT_TRUE(std::isinf(readDecimal("1e400")));
  EXPECT_TRUE(std::isinf(readDecimal("-123456e99999999999999999999")));
  EXPECT_TRUE(std::isinf(readDecimal("1e9223372036854775807")));
  EXPECT_TRUE(std::isinf(readDecimal("12.5e9223372036854775806")));
}

TEST(DecimalReader, RoundsHalvesToEvenAndMapsOutOfRangeToTheMinimum) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  const struct {
    double value;
    std::int32_t rounded;
  } cases[] = {
      {0.5, 0},           {1.5, 2},          {2.5, 2},          {3.5, 4},          {-0.5, 0},
      {-1.5, -2},         {-2.5, -2},        {49.5, 50},        {48.5, 48},        {0.49999999999999994, 0},
      {2147483647.0, 2147483647},            {2147483647.4, 2147483647},           {2147483647.5, kMin},
      {-2147483648.0, kMin},                 {-2147483648.5, kMin},                {-2147483647.5, -2147483648},
      {1e10, kMin},       {-1e10, kMin},
  };
  for (const auto& c : cases) EXPECT_EQ(roundToInt32(c.value), c.rounded) << c.value;
  EXPECT_EQ(roundToInt32(std::numeric_limits<double>::infinity()), kMin);
  EXPECT_EQ(roundToInt32(std::numeric_limits<double>::quiet_NaN()), kMin);
}

}  // namespace
}  // namespace velmora
