// The settings file: what each file content loads as, the exact bytes a save
// writes, and what survives when the file cannot be read or written.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "tests/fake/fake_platform.h"
#include "tests/support/test_files.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testfiles::freshDirectory;
using testfiles::readBytes;
using namespace std::string_literals;

const std::string kHeaderLine = "[Velmora Slides Screensaver version 2016.june.09 ini file]\r\n";

struct Values {
  std::int32_t videomax;
  std::int32_t darkmax;
  std::int32_t dotmode;
  std::int32_t slideSeconds;
  std::int32_t darkSeconds;
  bool isBright;
  std::int32_t brightnessLevel;

  bool operator==(const Values&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Values& v) {
  return out << "{positions " << v.videomax << "/" << v.darkmax << "/" << v.dotmode << ", slideSeconds "
             << v.slideSeconds << ", darkSeconds " << v.darkSeconds << ", isBright " << v.isBright
             << ", brightnessLevel " << v.brightnessLevel << "}";
}

Values held() {
  return {settings.videomax,    settings.darkmax,  settings.dotmode,        settings.slideSeconds,
          settings.darkSeconds, settings.isBright, settings.brightnessLevel};
}

// Positions 0, 0, 0 and what follows from them.
constexpr Values kAtZero{0, 0, 0, 5, 0, true, 255};

void writeBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary);
  file << bytes;
  ASSERT_TRUE(file.good()) << path;
}

std::size_t entriesIn(const fs::path& directory) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(directory), fs::directory_iterator()));
}

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    resetSettings();
    directory_ = freshDirectory("velmora-settings-");
    fake::setExecutableDirectory(directory_.string());
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }

  fs::path iniPath() const { return fs::path(settingsPath()); }

  fs::path directory_;
};

TEST_F(SettingsFile, ThePathIsTheFileBesideTheExecutable) {
  EXPECT_EQ(settingsPath(), directory_.string() + "/velmorascr.ini");
}

TEST_F(SettingsFile, EachContentLoadsAsItsPositionsAndDerivedValues) {
  struct Case {
    const char* what;
    std::string content;
    Values expected;
  };
  const std::string longKeyRun = [] {
    std::string run;
    while (run.size() < 100'000) run += "darkmax= 40";
    return run;
  }();
  const std::vector<Case> cases = {
      {"header only", kHeaderLine, kAtZero},
      {"empty file", "", kAtZero},
      {"saved form", kHeaderLine + "videomax= 50\r\ndarkmax= 25\r\ndotmode= 75\r\n", {50, 25, 75, 15, 10, false, 105}},
      {"LF only", "[header]\nvideomax= 50\ndarkmax= 25\ndotmode= 75\n", {50, 25, 75, 15, 10, false, 105}},
      {"no line end last", "videomax= 50\r\ndarkmax= 25\r\ndotmode= 75", {50, 25, 75, 15, 10, false, 105}},
      {"letter case", "VideoMax= 30\r\nDARKMAX= 40\r\nDotMode= 6E1\r\n", {30, 40, 60, 10, 15, false, 135}},
      {"leading blank or tab", " videomax= 30\r\n\tdarkmax= 40\r\n;dotmode= 60\r\n", kAtZero},
      {"no blank after =", "videomax=30\r\ndarkmax=45\r\n", {0, 5, 0, 5, 0, true, 255}},
      {"videomax=130", "videomax=130\r\n", {30, 0, 0, 10, 0, true, 255}},
      {"negative", "videomax= -5\r\n", kAtZero},
      {"150", "videomax= 150\r\n", {99, 0, 0, 20, 0, true, 255}},
      {"1e10 is out of range", "videomax= 1e10\r\n", kAtZero},
      {"exponent", "videomax= 1e1\r\n", {10, 0, 0, 5, 0, true, 255}},
      {"49.5 rounds up to even", "dotmode= 49.5\r\n", {0, 0, 50, 5, 0, false, 155}},
      {"48.5 rounds down to even", "dotmode= 48.5\r\n", {0, 0, 48, 5, 0, true, 159}},
      {"dotmode 49", "dotmode= 49\r\n", {0, 0, 49, 5, 0, true, 157}},
      {"dotmode 99", "dotmode= 99\r\n", {0, 0, 99, 5, 0, false, 57}},
      {"step edge 12", "videomax= 12\r\ndarkmax= 12\r\n", {12, 12, 0, 5, 0, true, 255}},
      {"step edge 13", "videomax= 13\r\ndarkmax= 13\r\n", {13, 13, 0, 5, 5, true, 255}},
      {"step edge 24", "videomax= 24\r\ndarkmax= 24\r\n", {24, 24, 0, 5, 5, true, 255}},
      {"step edge 25", "videomax= 25\r\ndarkmax= 25\r\n", {25, 25, 0, 10, 10, true, 255}},
      {"step edge 87", "videomax= 87\r\ndarkmax= 87\r\n", {87, 87, 0, 20, 60, true, 255}},
      {"step edge 88", "videomax= 88\r\ndarkmax= 88\r\n", {88, 88, 0, 20, 90, true, 255}},
      {"two darkmax lines", "darkmax= 88\r\nvideomax= 30\r\ndarkmax= 13\r\n", {30, 13, 0, 10, 5, true, 255}},
      {"an empty value reads 0", "videomax= 50\r\nvideomax=\r\ndarkmax= 50\r\ndarkmax= \r\n", kAtZero},
      {"lines that are no key", "[videomax= 30]\r\nvideomax 30\r\nvideomax\r\nvideo max= 30\r\n", kAtZero},
      {"a lone CR is no line end", "videomax= 30\rdarkmax= 40\r\n", {30, 0, 0, 10, 0, true, 255}},
      {"CR CR LF", "darkmax= 40\r\r\ndotmode= 60\r\n", {0, 40, 60, 5, 15, false, 135}},
      {"0x1A ends the file", "videomax= 30\r\n\x1A" "darkmax= 40\r\n", {30, 0, 0, 10, 0, true, 255}},
      {"0x1A inside a value", "darkmax= 4\x1A" "5\r\n", {0, 4, 0, 5, 0, true, 255}},
      {"NUL bytes", "videomax=\0" "42\r\n\0dotmode= 70\r\ndarkmax= 3\0" "9\r\n"s, {42, 3, 0, 10, 0, true, 255}},
      {"a 100 KB line of keys", "videomax= 10" + longKeyRun + "\r\ndotmode= 60\r\n", {10, 0, 60, 5, 0, false, 135}},
      {"a 100 KB value", "darkmax= " + std::string(100'000, '0') + "88\r\n", {0, 88, 0, 5, 90, true, 255}},
  };
  for (const Case& c : cases) {
    fake::reset();
    resetSettings();
    fake::setExecutableDirectory(directory_.string());
    writeBytes(iniPath(), c.content);
    loadSettings();
    EXPECT_EQ(held(), c.expected) << c.what;
    EXPECT_EQ(readBytes(iniPath()), c.content) << c.what << ": a load never rewrites a file it can read";
  }
}

TEST_F(SettingsFile, AMissingFileIsWrittenFromThePositionsHeldThenRead) {
  loadSettings();
  EXPECT_EQ(held(), kAtZero);
  EXPECT_EQ(readBytes(iniPath()), kHeaderLine + "videomax= 0\r\ndarkmax= 0\r\ndotmode= 0\r\n");

  fs::remove(iniPath());
  settings.videomax = 50;  // held before the load, as a slider would leave it
  settings.dotmode = 75;
  loadSettings();
  EXPECT_EQ(held(), (Values{50, 0, 75, 15, 0, false, 105}));
  EXPECT_EQ(readBytes(iniPath()), kHeaderLine + "videomax= 50\r\ndarkmax= 0\r\ndotmode= 75\r\n");
}

TEST_F(SettingsFile, SaveWritesTheHeaderAndEachPositionWithASignPlace) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  const struct {
    std::int32_t videomax, darkmax, dotmode;
    std::string body;
  } cases[] = {
      {0, 0, 0, "videomax= 0\r\ndarkmax= 0\r\ndotmode= 0\r\n"},
      {50, 25, 75, "videomax= 50\r\ndarkmax= 25\r\ndotmode= 75\r\n"},
      {-5, 2147483647, kMin, "videomax=-5\r\ndarkmax= 2147483647\r\ndotmode=-2147483648\r\n"},
  };
  writeBytes(iniPath(), "an older and much longer file that the save must replace whole\r\n");
  for (const auto& c : cases) {
    settings.videomax = c.videomax;
    settings.darkmax = c.darkmax;
    settings.dotmode = c.dotmode;
    saveSettings();
    EXPECT_EQ(readBytes(iniPath()), kHeaderLine + c.body);
    EXPECT_EQ(entriesIn(directory_), 1u) << "nothing is left beside the file";
  }
}

TEST_F(SettingsFile, SavedPositionsLoadBackWithTheirDerivedValues) {
  setVideomax(50);
  setDarkmax(25);
  setDotmode(75);
  saveSettings();
  resetSettings();
  loadSettings();
  EXPECT_EQ(held(), (Values{50, 25, 75, 15, 10, false, 105}));
}

TEST(SettingsSteps, PositionsStepThroughTheTablesAndSettersClamp) {
  const struct {
    std::int32_t position;
    int step;
  } steps[] = {{0, 0},  {12, 0}, {13, 1}, {24, 1}, {25, 2}, {37, 2}, {38, 3}, {49, 3},
               {50, 4}, {62, 4}, {63, 5}, {74, 5}, {75, 6}, {87, 6}, {88, 7}, {99, 7}};
  for (const auto& s : steps) EXPECT_EQ(stepOfPosition(s.position), s.step) << s.position;

  const struct {
    std::int32_t given;
    Values expected;
  } setters[] = {
      {-1, kAtZero},
      {std::numeric_limits<std::int32_t>::min(), kAtZero},
      {100, {99, 99, 99, 20, 90, false, 57}},
      {std::numeric_limits<std::int32_t>::max(), {99, 99, 99, 20, 90, false, 57}},
      {62, {62, 62, 62, 15, 20, false, 131}},
  };
  for (const auto& s : setters) {
    resetSettings();
    setVideomax(s.given);
    setDarkmax(s.given);
    setDotmode(s.given);
    EXPECT_EQ(held(), s.expected) << s.given;
  }
}

// --- failures --------------------------------------------------------------
// The process may run as root, so failures come from paths that cannot be
// made, not from file modes.

TEST_F(SettingsFile, ADirectoryThatCannotBeWrittenGivesThePositionsZero) {
  // Every derived value still follows the positions: the show must not run
  // 0-second phases of slides scaled to black.
  const fs::path plainFile = directory_ / "plain";
  writeBytes(plainFile, "not a directory");
  fake::setExecutableDirectory((plainFile / "sub").string());
  loadSettings();
  EXPECT_EQ(held(), kAtZero);
  setVideomax(50);
  saveSettings();
  EXPECT_EQ(readBytes(plainFile), "not a directory");
  EXPECT_EQ(entriesIn(directory_), 1u);
}

TEST_F(SettingsFile, ASettingsPathThatIsADirectoryIsNeitherReadNorReplaced) {
  fs::create_directory(iniPath());
  loadSettings();
  EXPECT_EQ(held(), kAtZero);
  setVideomax(50);
  saveSettings();
  EXPECT_TRUE(fs::is_directory(iniPath()));
  EXPECT_EQ(entriesIn(directory_), 1u);
}

TEST_F(SettingsFile, AnExistingFileStaysWholeWhenTheNewOneCannotBeWritten) {
  // A save writes its new file beside the old one, under a longer name.
  // Just below the platform's limit on the length of a path the old file's
  // name still fits and the new one's does not: there the old file must
  // stay as it was; further from the limit the save replaces it.
#ifdef _WIN32
  constexpr std::size_t kLongestPath = 259;  // MAX_PATH without its NUL
#else
  constexpr std::size_t kLongestPath = 4095;  // PATH_MAX without its NUL
#endif
  const char separator = static_cast<char>(fs::path::preferred_separator);
  const std::string old = kHeaderLine + "videomax= 30\r\n";
  const std::string saved = kHeaderLine + "videomax= 50\r\ndarkmax= 0\r\ndotmode= 0\r\n";
  int kept = 0;
  int replaced = 0;
  for (std::size_t below = 0; below < 32; ++below) {
    const std::size_t fileLength = kLongestPath - below;
    const std::size_t directoryLength = fileLength - std::string("/velmorascr.ini").size();
    std::string directory = directory_.string();
    std::string firstPart;
    ASSERT_LT(directory.size() + 2, directoryLength);
    while (directory.size() < directoryLength) {
      const std::size_t left = directoryLength - directory.size();
      const std::size_t length = left <= 201 ? left - 1 : (left - 201 >= 2 ? 200 : 198);
      const std::string part(length, 'd');
      if (firstPart.empty()) firstPart = part;
      directory += separator + part;
    }
    fs::create_directories(directory);
    fake::setExecutableDirectory(directory);
    ASSERT_EQ(settingsPath().size(), fileLength);
    writeBytes(settingsPath(), old);

    resetSettings();
    setVideomax(50);
    saveSettings();
    const auto now = readBytes(settingsPath());
    if (now == old) {
      ++kept;
    } else {
      EXPECT_EQ(now, saved) << fileLength;
      ++replaced;
    }
    EXPECT_EQ(entriesIn(directory), 1u) << fileLength;
    fs::remove_all(directory_ / firstPart);
  }
  EXPECT_GT(kept, 0);
  EXPECT_GT(replaced, 0);
}

}  // namespace
}  // namespace velmora
