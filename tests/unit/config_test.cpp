// The configuration screen: the widgets' pixels and hit areas, the buttons,
// the frame cycle and the thumbnail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/library.h"
#include "platform/resources.h"
#include "present/text.h"
#include "settings/config_mode.h"
#include "settings/frame_cycle.h"
#include "settings/settings.h"
#include "settings/thumbnail.h"
#include "settings/widgets.h"
#include "slides/archive.h"
#include "slides/slides.h"
#include "tests/fake/fake_platform.h"
#include "tests/support/test_files.h"
#include "tests/testcodec/test_codec.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testfiles::freshDirectory;
using testfiles::readBytes;
using platform::IntRect;
using platform::Pixel;

constexpr int kWidth = 384;
constexpr int kHeight = 240;
constexpr Pixel kWhite = 0xFFFFFFFFu;
constexpr Pixel kOpaqueBlack = 0xFF000000u;

// --- the screen as it should look, drawn independently of the program -------

class Picture {
 public:
  Picture() : pixels_(static_cast<std::size_t>(kWidth) * kHeight, 0u) {}
  static Picture ofSurface() {
    Picture p;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) p.at(x, y) = fake::pixel(x, y);
    }
    return p;
  }

  Pixel& at(int x, int y) { return pixels_[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)]; }
  Pixel at(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)]; }

  void fill(IntRect r, Pixel colour) {
    for (int y = r.top; y <= r.bottom; ++y) {
      for (int x = r.left; x <= r.right; ++x) at(x, y) = colour;
    }
  }
  void outline(IntRect r, Pixel colour) {
    fill({r.left, r.top, r.right, r.top}, colour);
    fill({r.left, r.bottom, r.right, r.bottom}, colour);
    fill({r.left, r.top, r.left, r.bottom}, colour);
    fill({r.right, r.top, r.right, r.bottom}, colour);
  }
  // Text as the built-in font paints it: whole 8 x 13 cells from (x, y + 2),
  // white on 0x00000000.
  void text(int x, int y, const std::string& text) {
    const std::uint8_t* font = glyphFont();
    ASSERT_NE(font, nullptr);
    for (std::size_t k = 0; k < text.size(); ++k) {
      const auto code = static_cast<unsigned char>(text[k]);
      for (int row = 0; row < 13; ++row) {
        const unsigned bits = font[(code - 32u) * 13u + static_cast<unsigned>(row)];
        for (int i = 0; i < 8; ++i) {
          at(x + 8 * static_cast<int>(k) + i, y + 2 + row) = (bits >> (7 - i)) & 1u ? kWhite : 0u;
        }
      }
    }
  }

  // The first few differing pixels, or "" when the two agree.
  std::string differencesFrom(const Picture& expected) const {
    std::ostringstream out;
    int count = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        if (at(x, y) == expected.at(x, y)) continue;
        if (count++ < 8) {
          out << "(" << x << "," << y << ") is 0x" << std::hex << at(x, y) << " not 0x" << expected.at(x, y)
              << std::dec << "; ";
        }
      }
    }
    if (count > 8) out << count << " pixels differ";
    return out.str();
  }

 private:
  std::vector<Pixel> pixels_;
};

struct SliderLook {
  int textY;      // label and caption
  int knobTop;    // the knob spans knobTop .. knobTop + 7
  const char* label;
};
constexpr SliderLook kSliderLooks[] = {{180, 184, "PLAY SLIDES"}, {196, 200, "DARK SCREEN"}, {212, 216, "SCREEN MODE"}};

IntRect knob(int slot, int position) {
  const int top = kSliderLooks[slot - 1].knobTop;
  return {110 + position, top, 117 + position, top + 7};
}

// The five widgets as created with positions p1, p2, p3.
Picture widgetsAsCreated(int p1, int p2, int p3, const std::string& caption1, const std::string& caption2,
                         const std::string& caption3) {
  Picture p;
  const int positions[] = {p1, p2, p3};
  const std::string captions[] = {caption1, caption2, caption3};
  for (int slot = 1; slot <= 3; ++slot) {
    const SliderLook& look = kSliderLooks[slot - 1];
    p.text(16, look.textY, look.label);
    p.outline({108, look.knobTop - 2, 219, look.knobTop + 9}, kWhite);
    p.fill(knob(slot, positions[slot - 1]), kWhite);
    p.text(224, look.textY, captions[slot - 1]);
  }
  p.text(320, 180, "Save");
  p.outline({304, 180, 367, 195}, kWhite);
  p.text(312, 212, "Cancel");
  p.outline({304, 212, 367, 227}, kWhite);
  return p;
}

void createTheWidgets() {
  createSlider(1, 14, 23, "PLAY SLIDES");
  createButton(1, 38, 23, "Save");
  createSlider(2, 14, 25, "DARK SCREEN");
  createSlider(3, 14, 27, "SCREEN MODE");
  createButton(2, 38, 27, "Cancel");
}

const std::string kSavedAtZero =
    "[Velmora Slides Screensaver version 2016.june.09 ini file]\r\nvideomax= 0\r\ndarkmax= 0\r\ndotmode= 0\r\n";

// A fresh process with the settings file in a directory of its own.
class ConfigScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = freshDirectory("velmora-config-");
    freshProcess();
  }
  void TearDown() override {
    resetSlideSource();
    std::error_code ignored;  // a loaded codec cannot be removed on Windows
    fs::remove_all(directory_, ignored);
  }

  // Everything back to a fresh start, the directory kept.
  void freshProcess() {
    fake::reset();
    resetSettings();
    resetWidgets();
    resetThumbnail();
    resetFrameCycle();
    resetSlideSource();
    fake::setExecutableDirectory(directory_.string());
    fake::setEnvironment("TMP", directory_.string());
  }
  fs::path iniPath() const { return fs::path(settingsPath()); }
  void writeSettings(int videomax, int darkmax, int dotmode) {
    std::ofstream file(iniPath(), std::ios::binary);
    file << "[any header]\r\nvideomax= " << videomax << "\r\ndarkmax= " << darkmax << "\r\ndotmode= " << dotmode
         << "\r\n";
  }
  // The window open, the settings loaded and the widgets drawn, as the
  // mode starts.
  void startWidgets() {
    ASSERT_TRUE(platform::openFramelessWindow(kWidth, kHeight));
    loadSettings();
    createTheWidgets();
  }

  fs::path directory_;
};

// --- the widgets ---------------------------------------------------------------

TEST_F(ConfigScreen, CreatedWidgetsShowTheLoadedSettingsPixelForPixel) {
  struct Case {
    std::optional<std::vector<int>> file;  // nothing: no settings file
    Picture expected;
  };
  const Case cases[] = {
      {std::nullopt, widgetsAsCreated(0, 0, 0, "005 SEC", "000 SEC", "BRIGHT")},
      {std::vector<int>{50, 25, 75}, widgetsAsCreated(50, 25, 75, "015 SEC", "010 SEC", "DARKEN")},
      {std::vector<int>{99, 99, 49}, widgetsAsCreated(99, 99, 49, "020 SEC", "090 SEC", "BRIGHT")},
  };
  for (const Case& c : cases) {
    freshProcess();
    fs::remove(iniPath());
    if (c.file) writeSettings((*c.file)[0], (*c.file)[1], (*c.file)[2]);
    startWidgets();
    EXPECT_EQ(Picture::ofSurface().differencesFrom(c.expected), "") << (c.file ? "with a file" : "fresh start");
  }
}

TEST_F(ConfigScreen, WidgetsFillTheirSlots) {
  writeSettings(50, 25, 75);
  startWidgets();
  const struct {
    int slot;
    SliderWidget expected;
  } sliders[] = {
      {1, {112, 184, 28, 23, 8, 100, 50, 15, 1}},
      {2, {112, 200, 28, 25, 8, 100, 25, 10, 1}},
      {3, {112, 216, 28, 27, 8, 100, 75, 0, 1}},
  };
  for (const auto& s : sliders) {
    const SliderWidget& w = sliderTable[s.slot];
    const SliderWidget& e = s.expected;
    EXPECT_EQ((std::vector<int>{w.x, w.y, w.captionColumn, w.captionRow, w.thickness, w.length, w.position,
                                w.captionValue, w.active}),
              (std::vector<int>{e.x, e.y, e.captionColumn, e.captionRow, e.thickness, e.length, e.position,
                                e.captionValue, e.active}))
        << "slider " << s.slot;
  }
  EXPECT_EQ(sliderTable[4].active, 0);
  EXPECT_EQ((std::vector<int>{buttonTable[1].x, buttonTable[1].y, buttonTable[1].width, buttonTable[1].height,
                              buttonTable[2].x, buttonTable[2].y, buttonTable[3].active}),
            (std::vector<int>{304, 180, 64, 16, 304, 212, 0}));
}

TEST_F(ConfigScreen, DraggingRedrawsKnobAndCaptionAndSetsTheSettings) {
  // Each drag starts from positions 50, 25, 75. x is the track's left end
  // (112); the knob is erased to opaque black and drawn at the new place.
  struct Case {
    int slot;
    int mx;
    int position;
    std::string caption;
  };
  const Case cases[] = {
      {1, 112 + 12, 12, "005 SEC"}, {1, 112 + 13, 13, "005 SEC"}, {2, 112 + 12, 12, "000 SEC"},
      {2, 112 + 13, 13, "005 SEC"}, {3, 112 + 49, 49, "BRIGHT"},  {3, 112 + 50, 50, "DARKEN"},
      {1, 112 - 7, 0, "005 SEC"},   {1, 112 + 99, 99, "020 SEC"}, {2, 112 + 107, 99, "090 SEC"},
      {3, 112 + 88, 88, "DARKEN"},  {1, 112 + 50, 50, "015 SEC"},  // the same position: redrawn all the same
  };
  for (const Case& c : cases) {
    freshProcess();
    writeSettings(50, 25, 75);
    startWidgets();
    const int before[] = {50, 25, 75};
    Picture expected = Picture::ofSurface();
    expected.fill(knob(c.slot, before[c.slot - 1]), kOpaqueBlack);
    expected.text(224, kSliderLooks[c.slot - 1].textY, c.caption);
    expected.fill(knob(c.slot, c.position), kWhite);

    dragSliders(c.mx, kSliderLooks[c.slot - 1].knobTop + 3);
    EXPECT_EQ(Picture::ofSurface().differencesFrom(expected), "") << "slot " << c.slot << " mx " << c.mx;
    EXPECT_EQ(sliderTable[c.slot].position, c.position);

    Settings derived = settings;
    resetSettings();
    setVideomax(c.slot == 1 ? c.position : 50);
    setDarkmax(c.slot == 2 ? c.position : 25);
    setDotmode(c.slot == 3 ? c.position : 75);
    EXPECT_EQ((std::vector<int>{derived.videomax, derived.darkmax, derived.dotmode, derived.slideSeconds,
                                derived.darkSeconds, derived.isBright, derived.brightnessLevel}),
              (std::vector<int>{settings.videomax, settings.darkmax, settings.dotmode, settings.slideSeconds,
                                settings.darkSeconds, settings.isBright, settings.brightnessLevel}))
        << "slot " << c.slot << " mx " << c.mx;
    EXPECT_EQ(sliderTable[c.slot].captionValue, (std::vector<int>{15, 10, 0})[static_cast<std::size_t>(c.slot - 1)])
        << "a drag leaves the caption value of the creation";
  }
}

TEST_F(ConfigScreen, SliderHitAreaReachesSevenPixelsBesideTheTrackAndOneAboveAndBelow) {
  // Slider 2: x = 112, y = 200; it starts at 25.
  struct Case {
    int mx;
    int my;
    std::optional<int> position;  // nothing: a miss
  };
  const Case cases[] = {
      {112 - 7, 203, 0},         {112 - 8, 203, std::nullopt}, {112 + 99, 203, 99}, {112 + 107, 203, 99},
      {112 + 108, 203, std::nullopt}, {112 + 40, 199, 40},  {112 + 40, 209, 40},  {112 + 40, 198, std::nullopt},
      {112 + 40, 210, std::nullopt},  {-1, -1, std::nullopt},
  };
  for (const Case& c : cases) {
    freshProcess();
    writeSettings(50, 25, 75);
    startWidgets();
    const Picture before = Picture::ofSurface();
    dragSliders(c.mx, c.my);
    EXPECT_EQ(settings.darkmax, c.position.value_or(25)) << c.mx << "," << c.my;
    EXPECT_EQ((std::vector<int>{settings.videomax, settings.dotmode}), (std::vector<int>{50, 75}));
    if (!c.position) {
      EXPECT_EQ(Picture::ofSurface().differencesFrom(before), "") << c.mx << "," << c.my;
    }
  }
}

TEST_F(ConfigScreen, ButtonsActOnTheirRightAndBottomOutlineButNotTheLeftAndTop) {
  // Save: (304,180)-(367,195); Cancel: (304,212)-(367,227).
  struct Case {
    int mx;
    int my;
    bool ends;
    bool saves;
  };
  const Case cases[] = {
      {304, 188, false, false}, {336, 180, false, false}, {367, 188, true, true},  {336, 195, true, true},
      {305, 181, true, true},   {368, 188, false, false}, {336, 196, false, false}, {304, 220, false, false},
      {336, 212, false, false}, {367, 227, true, false},  {305, 213, true, false},  {336, 204, false, false},
  };
  for (const Case& c : cases) {
    freshProcess();
    writeSettings(50, 25, 75);
    startWidgets();
    dragSliders(112 + 60, 187);  // slider 1 to 60: only a save writes it
    const auto code = fake::runUntilExit([&] { pressButtons(c.mx, c.my); });
    EXPECT_EQ(code, c.ends ? std::optional<int>(0) : std::nullopt) << c.mx << "," << c.my;
    EXPECT_EQ(readBytes(iniPath()).value_or("").find("videomax= 60") != std::string::npos, c.saves)
        << c.mx << "," << c.my;
  }
}

// --- the frame cycle -----------------------------------------------------------

TEST(FrameCycle, TheFirstFrameLiesAnywhereInTheCycle) {
  const struct {
    int slides;
    double r;
    int frame;
  } cases[] = {{16, 0.0, 0}, {16, 0.5, 200}, {16, 0.9999999, 399}, {1, 0.99, 24}, {1, 0.05, 1}, {3, 0.7, 52}};
  for (const auto& c : cases) {
    fake::reset();
    resetSlideSource();
    resetFrameCycle();
    slideTable.lastSlide = c.slides - 1;
    fake::setRandomValues({c.r});
    startFrameCycle();
    EXPECT_EQ(previewFrame, c.frame) << c.slides << " slides, r " << c.r;
  }
}

TEST(FrameCycle, FadeScalesTheTopSixBitsByLevelOver32RoundingHalvesToEven) {
  for (std::uint32_t c = 0; c < 256; ++c) {
    for (int level = 0; level <= 24; ++level) {
      const double exact = static_cast<double>(c & 0xFCu) * level / 32.0;
      ASSERT_EQ(fadeChannel(c, level), static_cast<std::uint32_t>(std::nearbyint(exact))) << c << " at " << level;
    }
  }
  const struct {
    std::uint32_t channel;
    int level;
    std::uint32_t shown;
  } worked[] = {{255, 24, 189}, {255, 0, 0}, {3, 24, 0}, {4, 4, 0}, {12, 4, 2}, {20, 4, 2}, {252, 1, 8}};
  for (const auto& w : worked) EXPECT_EQ(fadeChannel(w.channel, w.level), w.shown) << w.channel << " at " << w.level;
}

// An archive of the tests' codec and `slides` pictures in its own format.
std::vector<std::uint8_t> testArchive(const std::vector<std::vector<std::uint8_t>>& slides) {
  std::ifstream codecFile(VELMORA_TEST_CODEC_COMPLETE, std::ios::binary);
  std::ostringstream codecBytes;
  codecBytes << codecFile.rdbuf();
  const std::string codec = std::move(codecBytes).str();

  std::vector<std::uint8_t> archive(kArchiveDirectoryBytes, 0);
  const auto add = [&archive](int slot, const std::string& name, const std::uint8_t* body, std::size_t size) {
    const auto offset = static_cast<std::uint32_t>(archive.size());
    archive.insert(archive.end(), body, body + size);
    const std::size_t entry = static_cast<std::size_t>(slot) * kArchiveSlotBytes;
    std::copy(name.begin(), name.end(), archive.begin() + static_cast<std::ptrdiff_t>(entry));
    for (int i = 0; i < 4; ++i) {
      archive[entry + 40 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(offset >> (8 * i));
      archive[entry + 44 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
    }
  };
  add(1, "ijl10.dll", reinterpret_cast<const std::uint8_t*>(codec.data()), codec.size());
  for (std::size_t k = 0; k < slides.size(); ++k) {
    add(static_cast<int>(k) + 2, "s" + std::to_string(k) + ".jpg", slides[k].data(), slides[k].size());
  }
  return archive;
}

// A one-pixel grey picture of the tests' codec format.
std::vector<std::uint8_t> grey(std::uint8_t level) { return {'T', 'C', 1, 0, 1, 0, level, level, level, 0}; }

TEST_F(ConfigScreen, EachSlideHas25FramesFadingInAndIsDecodedOnceWhenItStarts) {
  ASSERT_TRUE(platform::openFramelessWindow(kWidth, kHeight));
  setDotmode(0);  // slides decoded at full brightness
  const auto archive = testArchive({grey(8), grey(40), grey(72)});
  ASSERT_EQ(fake::runUntilExit([&] { openSlideArchiveFrom(archive); }), std::nullopt);
  ASSERT_EQ(slideTable.count(), 3);
  const auto log = reinterpret_cast<TestCodecLogFn>(platform::findSymbol(codecBinding.library, "testCodecLog"));
  ASSERT_NE(log, nullptr);
  const auto decodes = [&] {
    int n = 0;
    for (int k = 0; k < log()->count; ++k) n += log()->calls[k].iotype == IJL_JBUFF_READWHOLEIMAGE;
    return n;
  };
  const std::uint32_t greys[] = {8, 40, 72};  // kept whole at full brightness

  fake::setRandomValues({0.99});  // frame 74 of 0 .. 74
  startFrameCycle();
  ASSERT_EQ(previewFrame, 74);
  int expectedDecodes = 0;
  int shownSlide = -1;
  for (int step = 0; step < 3 * 75 + 10; ++step) {
    const int level = advanceFrameCycle();
    const int frame = (74 + step) % 75 + 1;  // 75, then 1 .. 75 again and again
    const int slide = (frame - 1) / 25;
    ASSERT_EQ(previewFrame, frame) << "step " << step;
    ASSERT_EQ(level, (frame - 1) % 25) << "step " << step;
    ASSERT_EQ(currentSlide, slide) << "step " << step;
    if (slide != shownSlide) ++expectedDecodes;
    shownSlide = slide;
    ASSERT_EQ(decodes(), expectedDecodes) << "step " << step;
    ASSERT_EQ(platform::greenOf(decodedImage->pixels()[0]), greys[slide]) << "step " << step;
  }
}

TEST_F(ConfigScreen, WithOneSlideTheCycleFadesItInAgainAndAgainDecodingItOnce) {
  ASSERT_TRUE(platform::openFramelessWindow(kWidth, kHeight));
  const auto archive = testArchive({grey(10)});
  ASSERT_EQ(fake::runUntilExit([&] { openSlideArchiveFrom(archive); }), std::nullopt);
  const auto log = reinterpret_cast<TestCodecLogFn>(platform::findSymbol(codecBinding.library, "testCodecLog"));
  ASSERT_NE(log, nullptr);
  fake::setRandomValues({0.5});  // frame 12
  startFrameCycle();
  std::vector<int> levels;
  for (int step = 0; step < 40; ++step) levels.push_back(advanceFrameCycle());
  std::vector<int> expected;
  for (int step = 0; step < 40; ++step) expected.push_back((12 + step) % 25);
  EXPECT_EQ(levels, expected);
  int reads = 0;
  for (int k = 0; k < log()->count; ++k) reads += log()->calls[k].iotype == IJL_JBUFF_READWHOLEIMAGE;
  EXPECT_EQ(reads, 1);
}

// --- the thumbnail ---------------------------------------------------------------

// Pixel (x, y) of the decoded slide and pixel (j, i) of the thumbnail.
Pixel& decodedAt(int x, int y) {
  return decodedImage->pixels()[static_cast<std::size_t>(y) * static_cast<std::size_t>(decodedWidth) +
                                static_cast<std::size_t>(x)];
}
Pixel thumbnailAt(int j, int i) {
  return thumbnailImage->pixels()[static_cast<std::size_t>(i) * kThumbnailWidth + static_cast<std::size_t>(j)];
}

// A decoded slide of width x height whose pixel (x, y) is distinct.
void fillDecodedSlide(int width, int height) {
  decodedImage = platform::createImage(width, height);
  ASSERT_NE(decodedImage, nullptr);
  decodedWidth = width;
  decodedHeight = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      decodedAt(x, y) = 0xFF000000u | (static_cast<std::uint32_t>(x * 0x3571 + y * 0x71A9B) & 0xFFFFFFu);
    }
  }
}

// The thumbnail pixel (j, i) the rule gives for a source pixel.
Pixel faded(Pixel source, int level) {
  const auto channel = [level](std::uint32_t c) {
    return static_cast<std::uint32_t>(std::nearbyint(static_cast<double>(c & 0xFCu) * level / 32.0));
  };
  return 0xFF000000u | channel(platform::redOf(source)) << 16 | channel(platform::greenOf(source)) << 8 |
         channel(platform::blueOf(source));
}

std::string thumbnailDifferences(int level) {
  std::ostringstream out;
  int count = 0;
  for (int i = 0; i < kThumbnailHeight; ++i) {
    for (int j = 0; j < kThumbnailWidth; ++j) {
      if (thumbnailAt(j, i) == faded(decodedAt(4 * j, 4 * i), level)) continue;
      if (count++ < 5) out << "(" << j << "," << i << ") ";
    }
  }
  return out.str();
}

TEST_F(ConfigScreen, ThumbnailSamplesEveryFourthPixelOfEveryFourthRowFaded) {
  ASSERT_TRUE(platform::openFramelessWindow(kWidth, kHeight));
  fillDecodedSlide(1024, 768);
  slideTable.lastSlide = 0;  // one slide, already decoded
  currentSlide = 0;
  fake::setRandomValues({0.0});
  startFrameCycle();
  for (int step = 0; step < 27; ++step) {
    stepThumbnail();
    const int level = (step + 1 - 1) % 25;
    ASSERT_NE(thumbnailImage, nullptr);
    ASSERT_EQ(thumbnailImage->header(), platform::makeImageHeader(256, 192));
    ASSERT_EQ(thumbnailDifferences(level), "") << "level " << level;
  }
  // At level 24 white shows as 189, 189, 189; at level 0 all is black.
  decodedImage->pixels()[0] = 0xFFFFFFFFu;
  previewFrame = 24;
  stepThumbnail();
  EXPECT_EQ(thumbnailImage->pixels()[0], 0xFFBDBDBDu);
  previewFrame = 25;
  stepThumbnail();
  EXPECT_EQ(thumbnailImage->pixels()[0], kOpaqueBlack);
}

TEST_F(ConfigScreen, ThumbnailIsBlackWithoutASlideLargeEnoughToSample) {
  ASSERT_TRUE(platform::openFramelessWindow(kWidth, kHeight));
  const struct {
    int width;
    int height;
    bool sampled;
  } cases[] = {{0, 0, false}, {1020, 768, false}, {1024, 764, false}, {1021, 765, true}, {1, 1, false}};
  for (const auto& c : cases) {
    resetSlideSource();
    resetFrameCycle();
    if (c.width > 0) fillDecodedSlide(c.width, c.height);
    slideTable.lastSlide = 0;
    currentSlide = 0;
    previewFrame = 24;  // the next step shows level 24
    stepThumbnail();
    ASSERT_NE(thumbnailImage, nullptr);
    if (c.sampled) {
      EXPECT_EQ(thumbnailDifferences(24), "") << c.width << " x " << c.height;
    } else {
      const Pixel* p = thumbnailImage->pixels();
      EXPECT_EQ(std::count(p, p + 256 * 192, kOpaqueBlack), 256 * 192) << c.width << " x " << c.height;
    }
  }
}

// --- the frame loop ----------------------------------------------------------------

// A 1024 x 768 picture of the tests' codec format whose pixels all differ.
std::vector<std::uint8_t> fullSizePicture(std::uint32_t seed) {
  std::vector<std::uint8_t> bytes = {'T', 'C', 1024 & 0xFF, 1024 >> 8, 768 & 0xFF, 768 >> 8};
  bytes.reserve(bytes.size() + 1024 * 768 * 4);
  for (std::uint32_t n = 0; n < 1024 * 768; ++n) {
    const std::uint32_t word = (n + seed) * 0x9E3779B9u;
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(word >> shift));
  }
  return bytes;
}

class ConfigFrames : public ConfigScreen {
 protected:
  // The screen as the mode sets it up, over an archive of two full-size
  // slides of the tests' codec, the first frame chosen by `r`.
  void startScreen(double r) {
    ASSERT_TRUE(platform::openFramelessWindow(kWidth, kHeight));
    loadSettings();
    archive_ = testArchive({fullSizePicture(1), fullSizePicture(2)});
    ASSERT_EQ(fake::runUntilExit([&] { openSlideArchiveFrom(archive_); }), std::nullopt);
    createTheWidgets();
    fake::setRandomValues({r});
    startFrameCycle();
    fileBefore_ = readBytes(iniPath());
  }
  // Frames until the process ends; its exit code.
  std::optional<int> runFrames(int most = 100) {
    return fake::runUntilExit([most] {
      for (int frame = 0; frame < most; ++frame) configFrame();
    });
  }
  std::vector<int> pauseLengths() const {
    std::vector<int> lengths;
    for (const fake::PauseRecord& p : fake::pauses()) lengths.push_back(p.milliseconds);
    return lengths;
  }

  std::vector<std::uint8_t> archive_;
  std::optional<std::string> fileBefore_;
};

TEST_F(ConfigFrames, AFrameShowsTheTopOfTheThumbnailInsideItsWhiteFrame) {
  startScreen(0.49);  // frame 24: the first step shows slide 1 at level 24
  std::optional<Picture> seen;
  fake::onPause([&](int) {
    if (!seen) seen = Picture::ofSurface();
  });
  fake::scheduleKey(0.0);
  ASSERT_EQ(runFrames(), 0);
  ASSERT_TRUE(seen);

  Picture expected = widgetsAsCreated(0, 0, 0, "005 SEC", "000 SEC", "BRIGHT");
  expected.outline({63, 7, 320, 172}, kWhite);
  for (int i = 0; i < 164; ++i) {
    for (int j = 0; j < 256; ++j) {
      expected.at(64 + j, 8 + i) = faded(decodedAt(4 * j, 4 * i), 24);
    }
  }
  EXPECT_EQ(seen->differencesFrom(expected), "");
}

TEST_F(ConfigFrames, AKeyEndsTheProcessAtTheEndOfItsFrameWithoutSaving) {
  const struct {
    double keyAt;
    std::size_t frames;
  } cases[] = {{0.0, 1}, {0.1, 1}, {0.159, 1}, {0.161, 2}, {1.0, 7}};
  for (const auto& c : cases) {
    freshProcess();
    startScreen(0.0);
    fake::scheduleKey(c.keyAt);
    EXPECT_EQ(runFrames(), 0) << c.keyAt;
    EXPECT_EQ(pauseLengths(), std::vector<int>(4 * c.frames, 40)) << c.keyAt;
    EXPECT_EQ(readBytes(iniPath()), fileBefore_);
  }
}

TEST_F(ConfigFrames, OnlyTheLeftButtonAloneActs) {
  struct Case {
    const char* what;
    platform::MouseReading reading;
    std::int32_t videomax;
    bool saved;
    std::size_t pauses;  // before the process ended
  };
  const Case cases[] = {
      {"left on slider 1", {172, 187, 0, 1}, 60, false, 4},
      {"left and right", {172, 187, 0, 3}, 0, false, 4},
      {"right", {172, 187, 0, 2}, 0, false, 4},
      {"middle", {172, 187, 0, 4}, 0, false, 4},
      {"no button", {172, 187, 0, 0}, 0, false, 4},
      {"no reading", {-1, -1, -1, -1}, 0, false, 4},
      {"left on Save", {336, 188, 0, 1}, 0, true, 0},
      {"left on Cancel", {336, 220, 0, 1}, 0, false, 0},
      {"left and right on Save", {336, 188, 0, 3}, 0, false, 4},
  };
  for (const Case& c : cases) {
    freshProcess();
    fs::remove(iniPath());
    startScreen(0.0);
    fake::scheduleMouse(0.0, c.reading);
    fake::scheduleKey(0.0);
    EXPECT_EQ(runFrames(), 0) << c.what;
    EXPECT_EQ(settings.videomax, c.videomax) << c.what;
    EXPECT_EQ(fake::pauses().size(), c.pauses) << c.what;
    EXPECT_EQ(readBytes(iniPath()), c.saved ? std::optional<std::string>(kSavedAtZero) : fileBefore_) << c.what;
  }
}

TEST_F(ConfigFrames, AHeldButtonDragsTheKnobEvery40Milliseconds) {
  startScreen(0.0);
  // Slider 1 is at x = 112, y = 184; the pointer leaves its hit area last.
  fake::scheduleMouse(0.00, {112 + 10, 187, 0, 1});
  fake::scheduleMouse(0.04, {112 + 20, 192, 0, 1});
  fake::scheduleMouse(0.08, {112 + 107, 185, 0, 1});
  fake::scheduleMouse(0.12, {112 + 50, 194, 0, 1});
  fake::scheduleMouse(0.16, {112 + 50, 182, 0, 1});
  fake::scheduleMouse(0.20, {112 + 30, 188, 0, 1});
  std::vector<int> positions;
  fake::onPause([&](int) { positions.push_back(settings.videomax); });
  fake::scheduleKey(0.2);
  EXPECT_EQ(runFrames(), 0);
  EXPECT_EQ(positions, (std::vector<int>{10, 20, 99, 99, 99, 30, 30, 30}));
  EXPECT_EQ(fake::pixel(112 + 30 + 5, 191), kWhite);
  EXPECT_EQ(fake::pixel(112 + 99 - 2, 184), kOpaqueBlack);
}

// --- the mode --------------------------------------------------------------------

TEST_F(ConfigScreen, StartUpDrawsTheWholeScreen) {
  if (platform::findResource("GRAF", "CODE").empty()) GTEST_SKIP() << "this build carries no slide archive";
  struct Case {
    std::optional<std::vector<int>> file;  // nothing: no settings file
    Picture widgets;
  };
  const Case cases[] = {
      {std::nullopt, widgetsAsCreated(0, 0, 0, "005 SEC", "000 SEC", "BRIGHT")},
      {std::vector<int>{50, 25, 75}, widgetsAsCreated(50, 25, 75, "015 SEC", "010 SEC", "DARKEN")},
  };
  for (const Case& c : cases) {
    const char* what = c.file ? "with a file" : "fresh start";
    freshProcess();
    fs::remove(iniPath());
    if (c.file) writeSettings((*c.file)[0], (*c.file)[1], (*c.file)[2]);
    // The first frame is the last of the cycle (for up to 40 slides): the
    // last slide at fade level 24.
    fake::setRandomValues({0.999});
    std::optional<Picture> seen;
    std::string thumbnail = "not drawn";
    fake::onPause([&](int) {
      if (seen) return;
      seen = Picture::ofSurface();
      thumbnail = thumbnailDifferences(24);
    });
    fake::scheduleKey(0.0);
    ASSERT_EQ(fake::runUntilExit([] { configMode(); }), 0) << what;
    ASSERT_TRUE(seen) << what;
    EXPECT_EQ(currentSlide, slideTable.count() - 1) << what;
    EXPECT_EQ(thumbnail, "") << what;

    Picture expected = c.widgets;
    expected.outline({1, 1, 382, 237}, kWhite);
    expected.outline({63, 7, 320, 172}, kWhite);
    for (int i = 0; i < 164; ++i) {
      for (int j = 0; j < 256; ++j) {
        expected.at(64 + j, 8 + i) = thumbnailAt(j, i);
      }
    }
    EXPECT_EQ(seen->differencesFrom(expected), "") << what;
    const Pixel* decoded = decodedImage->pixels();
    EXPECT_NE(std::count(decoded, decoded + decodedImage->pixelCount(), kOpaqueBlack),
              static_cast<std::ptrdiff_t>(decodedImage->pixelCount()))
        << what << ": the slide is decoded at the brightness the settings give";
    if (!c.file) {
      EXPECT_EQ(readBytes(iniPath()), kSavedAtZero);
    }
  }
}

TEST_F(ConfigScreen, WithoutAWindowTheModeEndsAtOnce) {
  fake::failNextOpen();
  EXPECT_EQ(fake::runUntilExit([] { configMode(); }), 0);
  EXPECT_TRUE(fake::pauses().empty());
  EXPECT_FALSE(fs::exists(iniPath()));
}

}  // namespace
}  // namespace velmora
