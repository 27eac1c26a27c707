// The settings reader on arbitrary file bytes: the input is the whole
// content of "velmorascr.ini", and loadSettings reads it in a fresh process
// (the fake platform, its executable's folder a temporary folder of this
// process).
//
// Checked beyond the sanitizers' findings:
//   - loading leaves a file it could read byte for byte as it was;
//   - each position is what a second, simpler reading of the same bytes
//     gives: the text up to a byte 0x1A, cut into lines at LF with the CR
//     of a CR LF and one lone CR left last removed, ASCII letters folded, a
//     line beginning with the key, the one character after "=" skipped, the
//     number read by the C library (reference_number.h), clamped to 0..99,
//     the last line of a key deciding and 0 where none is;
//   - the derived values follow the positions;
//   - saving and loading again gives the same positions.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "settings/settings.h"
#include "tests/fake/fake_platform.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/reference_number.h"

namespace fs = std::filesystem;

namespace {

std::string folder;

void removeFolder() {
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

struct Positions {
  std::int32_t videomax = 0;
  std::int32_t darkmax = 0;
  std::int32_t dotmode = 0;
  bool operator==(const Positions&) const = default;
};

Positions held() { return {velmora::settings.videomax, velmora::settings.darkmax, velmora::settings.dotmode}; }

std::int32_t positionAfter(std::string_view line, std::string_view key) {
  const std::string_view value = line.size() > key.size() + 1 ? line.substr(key.size() + 1) : std::string_view{};
  return std::clamp(fuzzref::roundedInt32(value), 0, 99);
}

Positions referenceReading(std::string_view text) {
  text = text.substr(0, text.find('\x1A'));
  Positions p;
  while (!text.empty()) {
    const std::size_t lineFeed = text.find('\n');
    std::string line(text.substr(0, lineFeed));
    text.remove_prefix(lineFeed == std::string_view::npos ? text.size() : lineFeed + 1);
    if (lineFeed != std::string_view::npos && !line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    for (char& c : line) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    const std::string_view l(line);
    if (l.starts_with("videomax=")) {
      p.videomax = positionAfter(l, "videomax=");
    } else if (l.starts_with("darkmax=")) {
      p.darkmax = positionAfter(l, "darkmax=");
    } else if (l.starts_with("dotmode=")) {
      p.dotmode = positionAfter(l, "dotmode=");
    }
  }
  return p;
}

void checkDerivedValues() {
  const velmora::Settings& s = velmora::settings;
  constexpr auto step = [](std::int32_t position) { return static_cast<std::size_t>(2 * position / 25); };
  FUZZ_CHECK(s.slideSeconds == velmora::slideSecondsTable[step(s.videomax)]);
  FUZZ_CHECK(s.darkSeconds == velmora::darkSecondsTable[step(s.darkmax)]);
  FUZZ_CHECK(s.isBright == (s.dotmode < 50));
  FUZZ_CHECK(s.brightnessLevel == 255 - 2 * s.dotmode);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  for (const char* base : {"/dev/shm", "/tmp"}) {
    std::string pattern = std::string(base) + "/velmora-fuzz-settings-XXXXXX";
    if (mkdtemp(pattern.data())) {
      folder = pattern;
      break;
    }
  }
  if (folder.empty()) fuzzcheck::fail("no temporary folder could be made", __FILE__, __LINE__);
  std::atexit(removeFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  fake::reset();
  fake::setExecutableDirectory(folder);
  velmora::resetSettings();
  const std::string path = velmora::settingsPath();
  {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    FUZZ_CHECK(std::fclose(file) == 0);
  }

  velmora::loadSettings();
  std::string after;
  {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    FUZZ_CHECK(file != nullptr);
    std::array<char, 4096> chunk;
    for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), file)) > 0;) after.append(chunk.data(), n);
    std::fclose(file);
  }
  FUZZ_CHECK(after == bytes);

  const Positions loaded = held();
  FUZZ_CHECK(loaded == referenceReading(bytes));
  checkDerivedValues();

  velmora::saveSettings();
  velmora::resetSettings();
  velmora::loadSettings();
  FUZZ_CHECK(held() == loaded);
  checkDerivedValues();
  return 0;
}
