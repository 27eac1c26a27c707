// The slide source: the archive scan, codec extraction and binding, the
// bad-archive path, decoding through a bound codec, pixel conditioning.
#include "slides/slides.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "platform/display.h"
#include "platform/library.h"
#include "platform/process.h"
#include "platform/resources.h"
#include "settings/settings.h"
#include "slides/archive.h"
#include "slides/condition.h"
#include "tests/fake/fake_platform.h"
#include "tests/testcodec/test_codec.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

const Bytes& completeCodec() {
  static const Bytes bytes = readFile(VELMORA_TEST_CODEC_COMPLETE);
  return bytes;
}
const Bytes& partialCodec() {
  static const Bytes bytes = readFile(VELMORA_TEST_CODEC_PARTIAL);
  return bytes;
}

// A picture of the test codec's format; pixel n's codec bytes (red, green,
// blue, fourth) come from `word(n)` as a little-endian word.
template <typename WordOf>
Bytes testPicture(int width, int height, WordOf word) {
  Bytes bytes = {'T',
                 'C',
                 static_cast<std::uint8_t>(width & 0xFF),
                 static_cast<std::uint8_t>(width >> 8),
                 static_cast<std::uint8_t>(height & 0xFF),
                 static_cast<std::uint8_t>(height >> 8)};
  for (int n = 0; n < width * height; ++n) {
    const std::uint32_t w = word(n);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(w >> shift));
  }
  return bytes;
}

Bytes testPicture(int width, int height) {
  return testPicture(width, height, [](int n) { return static_cast<std::uint32_t>(n) * 0x9E3779B9u; });
}

// One directory slot. The body goes after the directory, after `gap` spare
// bytes; offset and size can be given instead of the true ones.
struct Entry {
  std::string name;  // up to 40 bytes; shorter names are padded with NULs
  Bytes body;
  std::optional<std::uint32_t> offset = std::nullopt;
  std::optional<std::uint32_t> size = std::nullopt;
  std::size_t gap = 0;
};

struct Archive {
  Bytes bytes;
  std::vector<std::uint32_t> offsets;  // where each entry's body was put
};

void putLittleEndian32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

Archive buildArchive(const std::vector<Entry>& entries) {
  Archive archive;
  archive.bytes.assign(kArchiveDirectoryBytes, 0);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    archive.bytes.insert(archive.bytes.end(), e.gap, 0xEE);
    const auto offset = static_cast<std::uint32_t>(archive.bytes.size());
    archive.offsets.push_back(offset);
    archive.bytes.insert(archive.bytes.end(), e.body.begin(), e.body.end());
    const std::size_t slot = (i + 1) * kArchiveSlotBytes;
    std::copy(e.name.begin(), e.name.end(), archive.bytes.begin() + static_cast<std::ptrdiff_t>(slot));
    putLittleEndian32(archive.bytes, slot + 40, e.offset.value_or(offset));
    putLittleEndian32(archive.bytes, slot + 44, e.size.value_or(static_cast<std::uint32_t>(e.body.size())));
  }
  return archive;
}

template <typename Fn>
Fn testCodecFunction(const char* name) {
  return reinterpret_cast<Fn>(platform::findSymbol(codecBinding.library, name));
}

std::string boundVariant() {
  const auto variant = testCodecFunction<TestCodecVariantFn>("testCodecVariant");
  return variant ? variant() : std::string("none");
}

// A fresh process with its own temporary directory in "TMP".
class SlideSource : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    resetSlideSource();
    settings = Settings{};
    static std::mt19937 random{std::random_device{}()};
    tmp_ = fs::temp_directory_path() / ("velmora-slides-" + std::to_string(random()));
    fs::create_directories(tmp_);
    fake::setEnvironment("TMP", tmp_.string());
  }
  void TearDown() override {
    resetSlideSource();
    std::error_code ignored;  // a loaded library cannot be removed on Windows
    fs::remove_all(tmp_, ignored);
  }

  // Opens `archive`, which must stay alive; the exit code when the process
  // ended, nothing when the archive was taken.
  std::optional<int> open(const Bytes& archive) {
    return fake::runUntilExit([&] { openSlideArchiveFrom(archive); });
  }

  fs::path tmp_;
};

// --- the temporary directory -------------------------------------------------

TEST_F(SlideSource, TemporaryDirectoryFollowsTheTargetsRule) {
  struct Case {
    char separator;
    std::optional<std::string> tmp;
    std::optional<std::string> tmpdir;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {'\\', "C:\\Temp", std::nullopt, "C:\\Temp\\"},
      {'\\', "C:\\Temp\\", std::nullopt, "C:\\Temp\\"},
      {'\\', std::nullopt, std::nullopt, "\\"},
      {'\\', "", std::nullopt, "\\"},
      {'\\', std::nullopt, "D:\\Other", "\\"},  // Windows knows only "TMP"
      {'\\', "C:\\Temp/", std::nullopt, "C:\\Temp/\\"},
      {'/', "/var/tmp", "/ignored", "/var/tmp/"},
      {'/', "/var/tmp/", std::nullopt, "/var/tmp/"},
      {'/', std::nullopt, "/run/user/1000", "/run/user/1000/"},
      {'/', "", "/run/user/1000/", "/run/user/1000/"},
      {'/', std::nullopt, std::nullopt, "/tmp/"},
      {'/', "", "", "/tmp/"},
      {'/', "/", std::nullopt, "/"},
  };
  for (const Case& c : cases) {
    fake::setEnvironment("TMP", c.tmp);
    fake::setEnvironment("TMPDIR", c.tmpdir);
    EXPECT_EQ(temporaryDirectory(c.separator), c.expected)
        << "separator " << c.separator << ", TMP " << c.tmp.value_or("(unset)") << ", TMPDIR "
        << c.tmpdir.value_or("(unset)");
  }
}

TEST_F(SlideSource, CodecLandsInTheTemporaryDirectoryWithOrWithoutFinalSeparator) {
  const Bytes picture = testPicture(2, 2);
  const Archive archive = buildArchive({{"ijl10.dll", completeCodec()}, {"a.jpg", picture}});
  for (const bool finalSeparator : {false, true}) {
    SCOPED_TRACE(finalSeparator ? "with final separator" : "without");
    const fs::path dir = tmp_ / (finalSeparator ? "with" : "without");
    fs::create_directories(dir);
    std::string value = dir.string();
    if (finalSeparator) value += platform::pathSeparator();
    resetSlideSource();
    fake::setEnvironment("TMP", value);
    ASSERT_EQ(open(archive.bytes), std::nullopt);
    EXPECT_EQ(readFile(dir / "ijl10.dll"), completeCodec());
    EXPECT_EQ(boundVariant(), "complete");
  }
}

TEST_F(SlideSource, CodecGoesToTmpdirWhenTmpIsUnset) {
  const Archive archive = buildArchive({{"ijl10.dll", completeCodec()}, {"a.jpg", testPicture(1, 1)}});
  fake::setEnvironment("TMP", std::nullopt);
  fake::setEnvironment("TMPDIR", tmp_.string());
  ASSERT_EQ(open(archive.bytes), std::nullopt);
  EXPECT_EQ(readFile(tmp_ / "ijl10.dll"), completeCodec());
}

// --- the archive scan ----------------------------------------------------------

struct ScanCase {
  const char* what;
  std::vector<Entry> entries;
  std::vector<int> slides;  // the entries listed as slides, in order; unused when the archive is damaged
  bool damaged = false;
  std::vector<std::pair<std::string, int>> files = {};  // files in TMP and the entry whose body each holds
  bool seedCompleteCodec = false;                       // a complete "ijl10.dll" lies in TMP before the start
  std::function<void(Bytes&)> patch = nullptr;          // changes the built archive's bytes
};

std::vector<ScanCase> scanCases() {
  const Bytes pic = testPicture(2, 1);
  const Bytes& codec = completeCodec();
  const Bytes& partial = partialCodec();
  std::vector<ScanCase> cases;
  cases.push_back({"codec and two slides",
                   {{"ijl10.dll", codec}, {"a.jpg", pic}, {"b.jpg", pic}},
                   {1, 2},
                   false,
                   {{"ijl10.dll", 0}}});
  cases.push_back({"upper-case .JPG is no slide", {{"ijl10.dll", codec}, {"A.JPG", pic}, {"b.jpg", pic}}, {2}});
  cases.push_back({"'.jpg' in the middle makes a slide", {{"ijl10.dll", codec}, {"x.jpg.old", pic}}, {1}});
  cases.push_back({"a name with '.jpg' and '.dll' is a slide and a codec",
                   {{"ijl10.dll", codec}, {"a.jpg", pic}, {"pic.jpg.dll", partial}},
                   {1, 2},
                   false,
                   {{"ijl10.dll", 0}, {"pic.jpg.dll", 2}}});
  cases.push_back({"another codec name is written under it, but ijl10.dll is loaded",
                   {{"ijcodec.dll", partial}, {"a.jpg", pic}},
                   {1},
                   false,
                   {{"ijcodec.dll", 0}},
                   true});
  cases.push_back({"another codec name with no ijl10.dll to load", {{"ijcodec.dll", codec}, {"a.jpg", pic}}, {}, true});
  cases.push_back({"the later of two codec entries binds",
                   {{"ijfirst.dll", codec}, {"a.jpg", pic}, {"ijl10.dll", codec}},
                   {1},
                   false,
                   {{"ijfirst.dll", 0}, {"ijl10.dll", 2}}});
  cases.push_back({"a codec entry lacking an entry point", {{"ijl10.dll", partial}, {"a.jpg", pic}}, {}, true});
  cases.push_back({"an empty name hides the slots after it",
                   {{"ijl10.dll", codec}, {"a.jpg", pic}, {"", pic}, {"b.jpg", pic}},
                   {1}});
  {
    std::vector<Entry> all = {{"ijl10.dll", codec}};
    std::vector<int> slides;
    for (int k = 2; k < kArchiveSlots; ++k) {
      all.push_back({"s" + std::to_string(k) + ".jpg", testPicture(1, k)});
      slides.push_back(k - 1);
    }
    cases.push_back({"all 31 slots in use", all, slides});
  }
  cases.push_back({"no slides", {{"ijl10.dll", codec}, {"readme.txt", pic}}, {}, true});
  cases.push_back({"no codec entry", {{"ijl10.jpg", pic}}, {}, true});
  cases.push_back({"slot 1 not starting with 'ij'", {{"xjl10.dll", codec}, {"a.jpg", pic}}, {}, true});
  cases.push_back({"'iJ' is not 'ij'", {{"iJl10.dll", codec}, {"a.jpg", pic}}, {}, true});
  cases.push_back({"a body past the end", {{"ijl10.dll", codec}, {"a.jpg", pic, std::nullopt, 15u}}, {}, true});
  cases.push_back({"an offset past the end",
                   {{"ijl10.dll", codec}, {"a.jpg", pic}, {"notes.txt", pic, 0x7FFFFF00u, 1u}},
                   {},
                   true});
  cases.push_back(
      {"offset + size beyond 32 bits", {{"ijl10.dll", codec}, {"a.jpg", pic, 0xFFFFFFF0u, 0x20u}}, {}, true});
  cases.push_back({"a slide ending on the last byte",
                   {{"ijl10.dll", codec}, {"a.jpg", pic}, {"b.jpg", Bytes{}, std::nullopt, std::nullopt, 3}},
                   {1, 2}});
  {
    // 40 name bytes and no NUL: the name is those 40 bytes. The offset's
    // first byte is 'g' (the body is placed so), which must not complete
    // ".jpg" from beyond the name.
    const std::string forty = std::string(36, 'n') + ".jpg";
    const std::string cut = std::string(37, 'n') + ".jp";
    const std::size_t end = buildArchive({{"ijl10.dll", codec}, {forty, pic}}).bytes.size();
    const std::size_t gap = (0x67 + 256 - end % 256) % 256;
    cases.push_back(
        {"40-byte names", {{"ijl10.dll", codec}, {forty, pic}, {cut, pic, std::nullopt, std::nullopt, gap}}, {1}});
  }
  cases.push_back({"a resource shorter than its directory", {}, {}, true, {}, false, [](Bytes& b) {
                     b.assign(1535, 0);
                     b[48] = 'i';
                     b[49] = 'j';
                   }});
  cases.push_back({"50 bytes with 'ij'", {}, {}, true, {}, false, [](Bytes& b) {
                     b.assign(50, 0);
                     b[48] = 'i';
                     b[49] = 'j';
                   }});
  cases.push_back({"49 bytes", {}, {}, true, {}, false, [](Bytes& b) {
                     b.assign(49, 0);
                     b[48] = 'i';
                   }});
  cases.push_back({"no archive at all", {}, {}, true, {}, false, [](Bytes& b) { b.clear(); }});
  return cases;
}

TEST_F(SlideSource, ScanListsSlidesAndBindsTheCodecOrRejectsTheArchive) {
  const std::vector<ScanCase> cases = scanCases();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const ScanCase& c = cases[i];
    SCOPED_TRACE(c.what);
    fake::reset();
    resetSlideSource();
    const fs::path dir = tmp_ / ("case" + std::to_string(i));
    fs::create_directories(dir);
    fake::setEnvironment("TMP", dir.string());
    if (c.seedCompleteCodec) writeFile(dir / "ijl10.dll", completeCodec());
    Archive archive = buildArchive(c.entries);
    if (c.patch) c.patch(archive.bytes);
    // The show's surface is open, and a key comes after two seconds.
    platform::openFullScreen(1024, 768);
    fake::scheduleKey(2.0);

    if (c.what == std::string("40-byte names")) {
      ASSERT_EQ(archive.offsets[2] & 0xFFu, std::uint32_t{'g'});
    }

    const std::optional<int> exit = open(archive.bytes);
    if (c.damaged) {
      EXPECT_EQ(exit, 0);
      EXPECT_EQ(slideTable.lastSlide, -1);
      EXPECT_EQ(codecBinding.library, nullptr);
      EXPECT_TRUE(slideArchive.empty());
      continue;
    }
    ASSERT_EQ(exit, std::nullopt);
    EXPECT_EQ(slideArchive.data(), archive.bytes.data());
    EXPECT_EQ(slideArchive.size(), archive.bytes.size());
    ASSERT_EQ(slideTable.count(), static_cast<int>(c.slides.size()));
    for (std::size_t n = 0; n < c.slides.size(); ++n) {
      const auto entry = static_cast<std::size_t>(c.slides[n]);
      EXPECT_EQ(slideTable.slideOffset[n], static_cast<std::int32_t>(archive.offsets[entry])) << "slide " << n;
      EXPECT_EQ(slideTable.slideSize[n], static_cast<std::int32_t>(c.entries[entry].body.size())) << "slide " << n;
    }
    EXPECT_TRUE(codecBinding.complete());
    EXPECT_EQ(boundVariant(), "complete");
    for (const auto& [name, entry] : c.files) {
      EXPECT_EQ(readFile(dir / name), c.entries[static_cast<std::size_t>(entry)].body) << name;
    }
  }
}

TEST_F(SlideSource, CodecEntryLaterInTheArchiveReplacesTheBinding) {
  // The second "ijl10.dll" lacks an entry point. On Linux it is written over
  // the first (a new file renamed into place) and bound, and the archive is
  // refused. Windows cannot write over a library that is loaded: the file
  // keeps the first body, loading it again gives the library already there,
  // and that binding stands.
  const Archive archive =
      buildArchive({{"ijl10.dll", completeCodec()}, {"a.jpg", testPicture(1, 1)}, {"ijl10.dll", partialCodec()}});
  const std::optional<int> exit = open(archive.bytes);
#ifdef _WIN32
  EXPECT_EQ(exit, std::nullopt);
  EXPECT_EQ(boundVariant(), "complete");
#else
  EXPECT_EQ(exit, 0);
  EXPECT_EQ(readFile(tmp_ / "ijl10.dll"), partialCodec());
#endif
}

// --- a damaged archive ---------------------------------------------------------

Bytes damagedArchive() { return buildArchive({{"xjl10.dll", completeCodec()}, {"a.jpg", testPicture(1, 1)}}).bytes; }

TEST_F(SlideSource, DamagedArchiveShowsTheLineAndWaitsForAKey) {
  const Bytes archive = damagedArchive();
  platform::openFullScreen(1024, 768);
  fake::scheduleKey(2.5);
  int litDuringWait = -1;
  fake::onPause([&](int) {
    if (litDuringWait >= 0) return;
    litDuringWait = 0;
    for (int y = 0; y < 768; ++y) {
      for (int x = 0; x < 16 * 8; ++x)
        litDuringWait += fake::pixel(x, y) != platform::kOpaqueBlack && fake::pixel(x, y) != 0;
    }
  });
  EXPECT_EQ(open(archive), 0);
  EXPECT_GT(litDuringWait, 0) << "the line is on the surface while the program waits";
  EXPECT_DOUBLE_EQ(fake::now(), 2.5);
  for (const fake::PauseRecord& pause : fake::pauses()) EXPECT_EQ(pause.milliseconds, 100);
  EXPECT_EQ(fake::surfaceKind(), fake::SurfaceKind::None) << "the exit closes the surface";
}

TEST_F(SlideSource, DamagedArchiveWithoutASurfaceEndsAtOnce) {
  // The preview has no surface to write on or take a key from, and neither
  // has a show whose surface could not be opened.
  for (const bool preview : {true, false}) {
    SCOPED_TRACE(preview ? "preview" : "no surface");
    fake::reset();
    resetSlideSource();
    inPreviewMode = preview;
    EXPECT_EQ(open(damagedArchive()), 0);
    EXPECT_TRUE(fake::pauses().empty());
    EXPECT_EQ(fake::debugMessages(), std::vector<std::string>{"bad archive link"});
  }
}

// --- conditioning -----------------------------------------------------------------

// scale(c): (c & 0xFC) * level / 256 to the nearest integer, an exact half
// going to the even neighbour, worked out from quotient and remainder.
std::uint32_t exactScale(std::uint32_t channel, std::uint32_t level) {
  const std::uint32_t numerator = (channel & 0xFCu) * level;
  const std::uint32_t quotient = numerator / 256u;
  const std::uint32_t remainder = numerator % 256u;
  if (2u * remainder > 256u) return quotient + 1u;
  if (2u * remainder == 256u) return quotient + (quotient % 2u);
  return quotient;
}

// The codec's word (bytes red, green, blue, fourth) as the show conditions it.
std::uint32_t expectedShown(std::uint32_t codecWord, std::uint32_t level) {
  return platform::makePixel(exactScale(codecWord & 0xFFu, level), exactScale((codecWord >> 8) & 0xFFu, level),
                             exactScale((codecWord >> 16) & 0xFFu, level));
}
std::uint32_t expectedPreview(std::uint32_t codecWord) {
  return platform::makePixel(codecWord & 0xFCu, (codecWord >> 8) & 0xFCu, (codecWord >> 16) & 0xFCu);
}

std::uint32_t codecWord(std::uint32_t red, std::uint32_t green, std::uint32_t blue, std::uint32_t fourth) {
  return red | (green << 8) | (blue << 16) | (fourth << 24);
}

platform::Image imageOf(const std::vector<std::uint32_t>& pixels) {
  platform::Image image;
  image.words.assign(1, 0x12345678u);
  image.words.insert(image.words.end(), pixels.begin(), pixels.end());
  image.width = static_cast<int>(pixels.size());
  image.height = 1;
  return image;
}

TEST_F(SlideSource, ConditioningWorkedValues) {
  struct Case {
    std::uint32_t channel;
    std::int32_t level;
    std::uint32_t result;
  };
  const std::vector<Case> cases = {
      {255, 255, 251}, {130, 255, 128}, {130, 253, 126}, {131, 57, 28}, {128, 59, 30},
      {200, 57, 45},   {3, 255, 0},     {3, 57, 0},      {0, 255, 0},   {255, 0, 0},
  };
  for (const Case& c : cases) {
    settings.brightnessLevel = c.level;
    // The channel as red, as green and as blue in turn.
    platform::Image image =
        imageOf({codecWord(c.channel, 0, 0, 0), codecWord(0, c.channel, 0, 0), codecWord(0, 0, c.channel, 0)});
    conditionPixels(image, 3, 1);
    EXPECT_EQ(image.words[1], platform::makePixel(c.result, 0, 0)) << c.channel << " at " << c.level;
    EXPECT_EQ(image.words[2], platform::makePixel(0, c.result, 0)) << c.channel << " at " << c.level;
    EXPECT_EQ(image.words[3], platform::makePixel(0, 0, c.result)) << c.channel << " at " << c.level;
    EXPECT_EQ(image.words[0], 0x12345678u) << "the header word is not a pixel";
  }
}

TEST_F(SlideSource, ConditioningMatchesTheExactRuleForEveryChannelValue) {
  // Every channel value in every position, each with a different fourth byte.
  std::vector<std::uint32_t> codec;
  for (std::uint32_t c = 0; c < 256; ++c) {
    codec.push_back(codecWord(c, 255u - c, (c * 7u + 3u) & 0xFFu, (c * 13u) & 0xFFu));
  }
  for (const std::int32_t level : {0, 57, 59, 155, 253, 255}) {
    settings.brightnessLevel = level;
    platform::Image image = imageOf(codec);
    conditionPixels(image, 16, 16);
    for (std::size_t i = 0; i < codec.size(); ++i) {
      ASSERT_EQ(image.words[i + 1], expectedShown(codec[i], static_cast<std::uint32_t>(level)))
          << "pixel " << i << " at level " << level;
    }
  }
  inPreviewMode = true;
  platform::Image image = imageOf(codec);
  conditionPixels(image, 256, 1);
  for (std::size_t i = 0; i < codec.size(); ++i) ASSERT_EQ(image.words[i + 1], expectedPreview(codec[i])) << i;
}

TEST_F(SlideSource, EveryConditioningPathFollowsTheRuleAtEveryLevel) {
  // 263 pixels: every channel value in every position, and a count that
  // leaves a tail after any vector width.
  std::vector<std::uint32_t> codec;
  for (std::uint32_t c = 0; c < 263; ++c) {
    codec.push_back(codecWord(c & 0xFFu, (c * 97u + 11u) & 0xFFu, (255u - c) & 0xFFu, (c * 31u) & 0xFFu));
  }
  for (const ConditionPath& path : availableConditionPaths()) {
    for (std::uint32_t level = 0; level <= kPreviewLevel; ++level) {
      std::vector<std::uint32_t> pixels = codec;
      path.row(pixels.data(), pixels.size(), level);
      for (std::size_t i = 0; i < codec.size(); ++i) {
        const std::uint32_t expected =
            level == kPreviewLevel ? expectedPreview(codec[i]) : expectedShown(codec[i], level);
        ASSERT_EQ(pixels[i], expected) << path.name << ", level " << level << ", pixel " << i;
      }
    }
  }
}

TEST_F(SlideSource, ConditioningIgnoresTheFourthByteAndNeverYieldsTheSkippedColour) {
  // Red 255, green 0, blue 255 is the colour the fade skips; no conditioned
  // pixel has it, whatever the fourth byte.
  for (const bool preview : {true, false}) {
    inPreviewMode = preview;
    settings.brightnessLevel = 255;
    platform::Image image =
        imageOf({codecWord(255, 0, 255, 0), codecWord(255, 0, 255, 0x80), codecWord(255, 0, 255, 0xFF)});
    conditionPixels(image, 3, 1);
    const std::uint32_t expected = preview ? 0xFFFC00FCu : 0xFFFB00FBu;
    EXPECT_EQ(image.words[1], expected);
    EXPECT_EQ(image.words[2], expected);
    EXPECT_EQ(image.words[3], expected);
  }
}

TEST_F(SlideSource, ConditioningStaysInsideTheImage) {
  settings.brightnessLevel = 255;
  platform::Image image = imageOf({codecWord(255, 255, 255, 0), codecWord(255, 255, 255, 0)});
  conditionPixels(image, 100, 100);  // more than the image holds
  EXPECT_EQ(image.words.size(), 3u);
  EXPECT_EQ(image.words[2], 0xFFFBFBFBu);
  conditionPixels(image, 0, 5);
  conditionPixels(image, -3, -3);
  EXPECT_EQ(image.words[1], 0xFFFBFBFBu);
}

// --- decoding through a bound codec ----------------------------------------------

// The archive of these tests: the complete test codec and three slides, two
// of 4 x 3 pixels and one of 2 x 5.
class Decoding : public SlideSource {
 protected:
  void SetUp() override {
    SlideSource::SetUp();
    first_ =
        testPicture(4, 3, [](int n) { return codecWord(255u - static_cast<std::uint32_t>(n) * 9u, 130, 3, 0x77); });
    second_ = testPicture(4, 3, [](int n) { return codecWord(128, static_cast<std::uint32_t>(n) * 20u, 200, 0); });
    other_ = testPicture(2, 5, [](int n) { return codecWord(64, 64, static_cast<std::uint32_t>(n), 1); });
    archive_ = buildArchive({{"ijl10.dll", completeCodec()},
                             {"a.jpg", first_},
                             {"b.jpg", second_},
                             {"c.jpg", other_},
                             {"d.jpg", Bytes{'n', 'o'}}});
    ASSERT_EQ(open(archive_.bytes), std::nullopt);
    log_ = testCodecFunction<TestCodecLogFn>("testCodecLog");
    clear_ = testCodecFunction<TestCodecClearLogFn>("testCodecClearLog");
    setInitStatus_ = testCodecFunction<TestCodecSetInitStatusFn>("testCodecSetInitStatus");
    ASSERT_TRUE(log_ && clear_ && setInitStatus_);
    clear_();
    setInitStatus_(IJL_OK);
  }

  std::int32_t decode(int slide) {
    const auto i = static_cast<std::size_t>(slide);
    return decodeSlide(slideTable.slideOffset[i], slideTable.slideSize[i]);
  }

  std::vector<std::string> calls() const {
    std::vector<std::string> names;
    const TestCodecLog* log = log_();
    for (int i = 0; i < log->count; ++i) {
      const TestCodecCall& call = log->calls[i];
      names.push_back(std::string(call.name) + (call.iotype >= 0 ? "(" + std::to_string(call.iotype) + ")" : ""));
    }
    return names;
  }

  // The picture's pixels as conditioning leaves them.
  static std::vector<std::uint32_t> conditioned(const Bytes& picture, bool preview, std::uint32_t level) {
    std::vector<std::uint32_t> words;
    for (std::size_t at = TEST_CODEC_HEADER_BYTES; at + 4 <= picture.size(); at += 4) {
      const std::uint32_t w = codecWord(picture[at], picture[at + 1], picture[at + 2], picture[at + 3]);
      words.push_back(preview ? expectedPreview(w) : expectedShown(w, level));
    }
    return words;
  }
  static std::vector<std::uint32_t> pixelsOf(const platform::Image& image) {
    return {image.pixels(), image.pixels() + image.pixelCount()};
  }

  Bytes first_, second_, other_;
  Archive archive_;
  TestCodecLogFn log_ = nullptr;
  TestCodecClearLogFn clear_ = nullptr;
  TestCodecSetInitStatusFn setInitStatus_ = nullptr;
};

const std::vector<std::string> kWholeDecode = {"ijlInit", "ijlRead(1)", "ijlRead(3)", "ijlFree"};

TEST_F(Decoding, FirstDecodeCallsTheCodecInOrderAndConditionsTheImage) {
  platform::openFullScreen(1024, 768);
  settings.brightnessLevel = 253;
  EXPECT_EQ(decode(0), 0);
  EXPECT_EQ(calls(), kWholeDecode);

  const TestCodecLog* log = log_();
  ASSERT_EQ(log->count, 4);
  const JPEG_CORE_PROPERTIES& params = log->calls[1].record;
  EXPECT_EQ(params.JPGBytes, archive_.bytes.data() + archive_.offsets[1]);
  EXPECT_EQ(params.JPGSizeBytes, static_cast<int>(first_.size()));
  const JPEG_CORE_PROPERTIES& whole = log->calls[2].record;
  ASSERT_NE(decodedImage, nullptr);
  EXPECT_EQ(whole.JPGColor, IJL_YCBCR);
  EXPECT_EQ(whole.DIBColor, IJL_RGBA_FPX);
  EXPECT_EQ(whole.DIBWidth, 4);
  EXPECT_EQ(whole.DIBHeight, 3);
  EXPECT_EQ(whole.DIBChannels, 4);
  EXPECT_EQ(whole.DIBPadBytes, 0);
  EXPECT_EQ(whole.DIBBytes, reinterpret_cast<unsigned char*>(decodedImage->words.data()) + 4);

  EXPECT_EQ(decodedWidth, 4);
  EXPECT_EQ(decodedHeight, 3);
  EXPECT_EQ(decodedImage->header(), platform::makeImageHeader(4, 3));
  EXPECT_EQ(decodedImage->words.size(), 13u);
  EXPECT_EQ(pixelsOf(*decodedImage), conditioned(first_, false, 253));
}

TEST_F(Decoding, PreviewDecodesIntoAPlainBlock) {
  inPreviewMode = true;
  EXPECT_EQ(decode(0), 0);
  ASSERT_NE(decodedImage, nullptr);
  EXPECT_EQ(decodedImage->words.size() * 4, 4u * 4u * 3u + 260u);
  EXPECT_EQ(decodedImage->header(), 0u);
  EXPECT_EQ(decodedImage->width, 4);
  EXPECT_EQ(decodedImage->height, 3);
  EXPECT_EQ(pixelsOf(*decodedImage), conditioned(first_, true, 0));
}

TEST_F(Decoding, LaterSlidesReuseTheImageOfTheirSizeAndReplaceEveryPixel) {
  platform::openFullScreen(1024, 768);
  settings.brightnessLevel = 255;
  ASSERT_EQ(decode(0), 0);
  const platform::Image* image = decodedImage.get();
  settings.brightnessLevel = 57;  // in force from the next decode on
  EXPECT_EQ(pixelsOf(*decodedImage), conditioned(first_, false, 255));
  ASSERT_EQ(decode(1), 0);
  EXPECT_EQ(decodedImage.get(), image);
  EXPECT_EQ(decodedImage->header(), platform::makeImageHeader(4, 3));
  EXPECT_EQ(pixelsOf(*decodedImage), conditioned(second_, false, 57));

  // A slide of another size gets an image of its own size.
  ASSERT_EQ(decode(2), 0);
  EXPECT_EQ(decodedWidth, 2);
  EXPECT_EQ(decodedHeight, 5);
  EXPECT_EQ(decodedImage->header(), platform::makeImageHeader(2, 5));
  EXPECT_EQ(decodedImage->words.size(), 11u);
  EXPECT_EQ(pixelsOf(*decodedImage), conditioned(other_, false, 57));
}

TEST_F(Decoding, FailedInitChangesNothing) {
  platform::openFullScreen(1024, 768);
  settings.brightnessLevel = 255;
  setInitStatus_(IJL_MEMORY_ERROR);
  EXPECT_EQ(decode(0), IJL_MEMORY_ERROR);
  EXPECT_EQ(decodedImage, nullptr);
  EXPECT_EQ(decodedWidth, 0);
  EXPECT_EQ(decodedHeight, 0);
  EXPECT_EQ(calls(), std::vector<std::string>{"ijlInit"});

  setInitStatus_(IJL_OK);
  ASSERT_EQ(decode(0), 0);
  setInitStatus_(IJL_INVALID_ENCODER);
  EXPECT_EQ(decode(2), IJL_INVALID_ENCODER);
  EXPECT_EQ(decodedWidth, 4);
  EXPECT_EQ(decodedHeight, 3);
  ASSERT_NE(decodedImage, nullptr);
  EXPECT_EQ(pixelsOf(*decodedImage), conditioned(first_, false, 255));
}

TEST_F(Decoding, NoImageMeansNoRead) {
  // No surface is open (and this is not the preview): no image can be made.
  EXPECT_NE(decode(0), 0);
  EXPECT_EQ(decodedImage, nullptr);
  EXPECT_EQ(calls(), (std::vector<std::string>{"ijlInit", "ijlRead(1)", "ijlFree"}));

  // A picture whose parameters cannot be read has no size: the image of the
  // slide before goes, so that none is left whose size differs from
  // decodedWidth x decodedHeight.
  platform::openFullScreen(1024, 768);
  ASSERT_EQ(decode(0), 0);
  clear_();
  EXPECT_NE(decode(3), 0);
  EXPECT_EQ(calls(), (std::vector<std::string>{"ijlInit", "ijlRead(1)", "ijlFree"}));
  EXPECT_EQ(decodedImage, nullptr);
  EXPECT_EQ(decodedWidth, 0);
  EXPECT_EQ(decodedHeight, 0);
}

TEST_F(Decoding, SlidesOutsideTheArchiveAreNeverRead) {
  platform::openFullScreen(1024, 768);
  const auto size = static_cast<std::int32_t>(archive_.bytes.size());
  const std::vector<std::pair<std::int32_t, std::int32_t>> outside = {
      {size, 1}, {size - 5, 6}, {-1, 10}, {0, -1}, {size + 1, 0}, {std::numeric_limits<std::int32_t>::max(), 2}};
  for (const auto& [offset, length] : outside) {
    EXPECT_NE(decodeSlide(offset, length), 0) << offset << ", " << length;
  }
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(decodedImage, nullptr);
}

TEST_F(SlideSource, DecodeWithoutABoundCodecCallsNothing) {
  platform::openFullScreen(1024, 768);
  EXPECT_NE(decodeSlide(0, 0), 0);
  EXPECT_EQ(decodedImage, nullptr);
}

// --- the archive built into the program and its codec ------------------------------

Bytes builtInSlide(int number) {
  const std::string name = std::string(number < 10 ? "slide0" : "slide") + std::to_string(number) + ".jpg";
  return readFile(fs::path(VELMORA_SOURCE_DIR) / "resources" / "slides" / name);
}

// Slide `index` as the bound codec itself decodes it, before conditioning.
std::vector<std::uint32_t> codecDecode(int index) {
  const auto i = static_cast<std::size_t>(index);
  std::vector<std::uint32_t> pixels;
  JPEG_CORE_PROPERTIES record{};
  if (codecBinding.ijlInit(&record) != IJL_OK) return pixels;
  record.JPGBytes = slideArchive.data() + slideTable.slideOffset[i];
  record.JPGSizeBytes = slideTable.slideSize[i];
  if (codecBinding.ijlRead(&record, IJL_JBUFF_READPARAMS) == IJL_OK) {
    pixels.assign(static_cast<std::size_t>(record.JPGWidth) * static_cast<std::size_t>(record.JPGHeight), 0u);
    record.DIBWidth = record.JPGWidth;
    record.DIBHeight = record.JPGHeight;
    record.DIBChannels = 4;
    record.DIBColor = IJL_RGBA_FPX;
    record.DIBPadBytes = 0;
    record.DIBBytes = reinterpret_cast<unsigned char*>(pixels.data());
    if (codecBinding.ijlRead(&record, IJL_JBUFF_READWHOLEIMAGE) != IJL_OK) pixels.clear();
  }
  codecBinding.ijlFree(&record);
  return pixels;
}

TEST_F(SlideSource, BuiltInArchiveListsSixteenSlidesAndBindsItsCodec) {
  ASSERT_EQ(fake::runUntilExit([] { openSlideArchive(); }), std::nullopt);
  const auto graf = platform::findResource("GRAF", "CODE");
  EXPECT_EQ(slideArchive.data(), graf.data());
  ASSERT_EQ(slideTable.count(), 16);

  const Bytes codec = readFile(VELMORA_CODEC_PATH);
  ASSERT_FALSE(codec.empty());
  EXPECT_EQ(readFile(tmp_ / "ijl10.dll"), codec) << "the codec lands in the temporary directory";
  EXPECT_TRUE(codecBinding.complete());
  ASSERT_NE(codecBinding.ijlGetLibVersion, nullptr);
  EXPECT_NE(codecBinding.ijlGetLibVersion(), nullptr);

  // The bodies follow the codec back to back, slide01.jpg first, and the
  // last one ends on the archive's last byte.
  std::size_t expectedOffset = kArchiveDirectoryBytes + codec.size();
  for (int i = 0; i < 16; ++i) {
    const auto n = static_cast<std::size_t>(i);
    EXPECT_EQ(static_cast<std::size_t>(slideTable.slideOffset[n]), expectedOffset) << "slide " << i;
    const auto body = slideArchive.subspan(static_cast<std::size_t>(slideTable.slideOffset[n]),
                                           static_cast<std::size_t>(slideTable.slideSize[n]));
    EXPECT_EQ(Bytes(body.begin(), body.end()), builtInSlide(i + 1)) << "slide " << i;
    expectedOffset += static_cast<std::size_t>(slideTable.slideSize[n]);
  }
  EXPECT_EQ(expectedOffset, graf.size());
}

TEST_F(SlideSource, EveryBuiltInSlideDecodesIntoTheOneImage) {
  platform::openFullScreen(1024, 768);
  settings.brightnessLevel = 253;
  ASSERT_EQ(fake::runUntilExit([] { openSlideArchive(); }), std::nullopt);
  ASSERT_EQ(slideTable.count(), 16);
  const platform::Image* first = nullptr;
  for (int i = 0; i < 16; ++i) {
    SCOPED_TRACE("slide " + std::to_string(i));
    const auto n = static_cast<std::size_t>(i);
    ASSERT_EQ(decodeSlide(slideTable.slideOffset[n], slideTable.slideSize[n]), 0);
    EXPECT_EQ(decodedWidth, 1024);
    EXPECT_EQ(decodedHeight, 768);
    ASSERT_NE(decodedImage, nullptr);
    if (!first) first = decodedImage.get();
    EXPECT_EQ(decodedImage.get(), first) << "later slides reuse the image";
    EXPECT_EQ(decodedImage->header(), 0x03002004u);
    EXPECT_EQ(decodedImage->words.size() * 4, 3145732u);
    if (i == 0 || i == 15) {
      const std::vector<std::uint32_t> codec = codecDecode(i);
      ASSERT_EQ(codec.size(), 1024u * 768u);
      for (std::size_t p = 0; p < codec.size(); ++p) {
        ASSERT_EQ(decodedImage->pixels()[p], expectedShown(codec[p], 253)) << "pixel " << p;
      }
    } else {
      const std::uint32_t* pixels = decodedImage->pixels();
      EXPECT_TRUE(std::all_of(pixels, pixels + 1024 * 768, [](std::uint32_t p) {
        return (p >> 24) == 0xFFu && platform::redOf(p) <= 251 && platform::greenOf(p) <= 251 &&
               platform::blueOf(p) <= 251;
      }));
    }
  }
}

TEST_F(SlideSource, BuiltInSlideInThePreviewFillsThePlainBlock) {
  inPreviewMode = true;
  ASSERT_EQ(fake::runUntilExit([] { openSlideArchive(); }), std::nullopt);
  ASSERT_EQ(decodeSlide(slideTable.slideOffset[3], slideTable.slideSize[3]), 0);
  ASSERT_NE(decodedImage, nullptr);
  EXPECT_EQ(decodedImage->words.size() * 4, 3145988u);
  EXPECT_EQ(decodedImage->header(), 0u);
  const std::vector<std::uint32_t> codec = codecDecode(3);
  ASSERT_EQ(codec.size(), 1024u * 768u);
  for (std::size_t p = 0; p < codec.size(); ++p) {
    ASSERT_EQ(decodedImage->pixels()[p], expectedPreview(codec[p])) << "pixel " << p;
  }
}

}  // namespace
}  // namespace velmora
