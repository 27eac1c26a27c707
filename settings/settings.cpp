#include "settings/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <span>
#include <string_view>

#include "common/ascii.h"
#include "common/decimal.h"
#include "platform/files.h"
#include "platform/process.h"
#include "settings/text_lines.h"

namespace velmora {
namespace {

constexpr std::string_view kFileName = "velmorascr.ini";
constexpr std::string_view kHeader = "[Velmora Slides Screensaver version 2016.june.09 ini file]";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kVideomaxKey = "videomax=";
constexpr std::string_view kDarkmaxKey = "darkmax=";
constexpr std::string_view kDotmodeKey = "dotmode=";

constexpr std::int32_t kLowestPosition = 0;
constexpr std::int32_t kHighestPosition = 99;
constexpr std::int32_t kBrightBelow = 50;

std::int32_t clampPosition(std::int32_t position) {
  return std::clamp(position, kLowestPosition, kHighestPosition);
}

// A number in the form of "% d": a blank before a number that is not
// negative, a minus before a negative one, no leading zeros.
void appendSignedDecimal(std::string& out, std::int32_t value) {
  const std::int64_t wide = value;
  std::uint64_t magnitude = static_cast<std::uint64_t>(wide < 0 ? -wide : wide);
  out.push_back(wide < 0 ? '-' : ' ');
  char digits[20];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0) out.push_back(digits[--count]);
}

void appendKeyLine(std::string& out, std::string_view key, std::int32_t position) {
  out.append(key);
  appendSignedDecimal(out, position);
  out.append(kLineEnd);
}

// The value of a line that begins with `key`: the text from the second
// character after the key on (the first, a blank in a file this program
// wrote, is skipped whatever it is), read as a rounded number and clamped
// to a position.
std::int32_t positionAfterKey(std::string_view line, std::string_view key) {
  const std::size_t valueStart = key.size() + 1;
  const std::string_view valueText = line.size() > valueStart ? line.substr(valueStart) : std::string_view{};
  return clampPosition(readRoundedInt32(valueText));
}

// A file opened for reading in binary mode, closed with its scope; null
// when it cannot be opened.
class OpenFile {
 public:
  explicit OpenFile(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}
  ~OpenFile() {
    if (file_) std::fclose(file_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  std::FILE* get() const { return file_; }

 private:
  std::FILE* file_;
};

void readSettingsLine(std::string& line) {
  foldAsciiToLower(line);
  const std::string_view text = line;
  if (text.starts_with(kVideomaxKey)) {
    setVideomax(positionAfterKey(text, kVideomaxKey));
  } else if (text.starts_with(kDarkmaxKey)) {
    setDarkmax(positionAfterKey(text, kDarkmaxKey));
  } else if (text.starts_with(kDotmodeKey)) {
    setDotmode(positionAfterKey(text, kDotmodeKey));
  }
}

}  // namespace

int stepOfPosition(std::int32_t position) {
  // floor(2p / 25) in floating point; the index is masked into the tables'
  // eight entries, which changes nothing for 0..99.
  const double step = std::floor(2.0 * position / 25.0);
  return static_cast<int>(step) & 7;
}

void setVideomax(std::int32_t position) {
  settings.videomax = clampPosition(position);
  settings.slideSeconds = slideSecondsTable[static_cast<std::size_t>(stepOfPosition(settings.videomax))];
}

void setDarkmax(std::int32_t position) {
  settings.darkmax = clampPosition(position);
  settings.darkSeconds = darkSecondsTable[static_cast<std::size_t>(stepOfPosition(settings.darkmax))];
}

void setDotmode(std::int32_t position) {
  settings.dotmode = clampPosition(position);
  settings.isBright = settings.dotmode < kBrightBelow;
  settings.brightnessLevel = 255 - 2 * settings.dotmode;
}

std::string settingsPath() {
  std::string path = platform::executableDirectory();
  path.push_back(platform::pathSeparator());
  path.append(kFileName);
  return path;
}

void saveSettings() {
  std::string text;
  text.append(kHeader);
  text.append(kLineEnd);
  appendKeyLine(text, kVideomaxKey, settings.videomax);
  appendKeyLine(text, kDarkmaxKey, settings.darkmax);
  appendKeyLine(text, kDotmodeKey, settings.dotmode);
  // The new file is written beside the old one and renamed over it, so a
  // failed or interrupted save leaves the old file whole. A save that fails
  // is not reported.
  platform::replaceFile(settingsPath(), std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void loadSettings() {
  const std::string path = settingsPath();
  if (!OpenFile(path).get()) saveSettings();

  if (const OpenFile file(path); file.get()) {
    TextLineReader reader(file.get());
    std::string line;
    while (reader.next(line)) readSettingsLine(line);
  }

  // Every derived value follows the position in force, read or not: a
  // missing key, or a file that could not be read at all, must not leave
  // the show with 0-second phases and a brightness of 0 (black slides).
  setVideomax(settings.videomax);
  setDarkmax(settings.darkmax);
  setDotmode(settings.dotmode);
}

void resetSettings() { settings = Settings{}; }

}  // namespace velmora
