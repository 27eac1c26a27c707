// The full-screen show: its start-up, the slides in turn, the 32-step
// cross-fade and the hold, the dark intervals between phases, and the ways
// the user ends it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/input.h"
#include "platform/resources.h"
#include "present/activity.h"
#include "present/show_mode.h"
#include "settings/settings.h"
#include "slides/archive.h"
#include "slides/slides.h"
#include "tests/fake/fake_platform.h"
#include "tools/slidepack/archive.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Rgb = std::array<std::uint8_t, 3>;

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A picture in the test codec's format: "TC", the width and the height as
// 16-bit little-endian numbers, then red, green, blue and a spare byte for
// each pixel, top row first.
Bytes testPicture(int width, int height, const std::function<Rgb(int n)>& colour) {
  Bytes bytes = {'T', 'C', static_cast<std::uint8_t>(width & 0xFF), static_cast<std::uint8_t>(width >> 8),
                 static_cast<std::uint8_t>(height & 0xFF), static_cast<std::uint8_t>(height >> 8)};
  for (int n = 0; n < width * height; ++n) {
    const Rgb c = colour(n);
    bytes.insert(bytes.end(), {c[0], c[1], c[2], 0});
  }
  return bytes;
}

// An archive: the test codec as "ijl10.dll", then the slides.
Bytes archiveOf(const std::vector<Bytes>& slides) {
  static const Bytes codec = readFile(VELMORA_TEST_CODEC_COMPLETE);
  std::vector<slidepack::Member> members;
  std::vector<std::span<const std::uint8_t>> bodies = {codec};
  for (std::size_t i = 0; i < slides.size(); ++i) {
    members.push_back({"slide" + std::to_string(i) + ".jpg", slides[i].size()});
    bodies.emplace_back(slides[i]);
  }
  return slidepack::writeArchive(slidepack::planArchive({"ijl10.dll", codec.size()}, members), bodies);
}

// Slides of 64 x 48 pixels, each with its own pattern.
std::vector<Bytes> patternSlides(int count) {
  std::vector<Bytes> slides;
  for (int s = 0; s < count; ++s) {
    slides.push_back(testPicture(64, 48, [s](int n) {
      return Rgb{static_cast<std::uint8_t>(s * 16 + n), static_cast<std::uint8_t>(n * 7 + s * 40),
                 static_cast<std::uint8_t>(255 - s * 13 - n / 3)};
    }));
  }
  return slides;
}

// One slide's pixels as the decoder gives them to the show.
struct Reference {
  int width = 0;
  int height = 0;
  std::vector<platform::Pixel> pixels;
};

bool channelsWithinOneBelow(platform::Pixel shown, platform::Pixel slide) {
  for (const int shift : {0, 8, 16}) {
    const int s = static_cast<int>((shown >> shift) & 0xFF);
    const int want = static_cast<int>((slide >> shift) & 0xFF);
    if (s != want && s != want - 1) return false;
  }
  return true;
}

// Each run of equal pauses: (milliseconds, how many).
std::vector<std::pair<int, int>> pauseRhythm() {
  std::vector<std::pair<int, int>> runs;
  for (const fake::PauseRecord& p : fake::pauses()) {
    if (!runs.empty() && runs.back().first == p.milliseconds) {
      ++runs.back().second;
    } else {
      runs.emplace_back(p.milliseconds, 1);
    }
  }
  return runs;
}

// A fresh process with a temporary directory for the codec and the settings.
class ShowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    resetSlideSource();
    resetSettings();
    resetActivityWatch();
    resetShow();
    settings.brightnessLevel = 255;  // the slides as they are
    static std::mt19937 random{std::random_device{}()};
    tmp_ = fs::temp_directory_path() / ("velmora-show-" + std::to_string(random()));
    fs::create_directories(tmp_);
    fake::setEnvironment("TMP", tmp_.string());
    fake::setExecutableDirectory(tmp_.string());
  }
  void TearDown() override {
    fake::onPause(nullptr);
    resetSlideSource();
    resetActivityWatch();
    resetShow();
    std::error_code ignored;  // a loaded library cannot be removed on Windows
    fs::remove_all(tmp_, ignored);
  }

  // Every slide of the open archive, decoded as the show decodes it.
  void takeReferences() {
    references_.clear();
    for (int k = 0; k < slideTable.count(); ++k) {
      const auto i = static_cast<std::size_t>(k);
      decodeSlide(slideTable.slideOffset[i], slideTable.slideSize[i]);
      ASSERT_NE(decodedImage, nullptr);
      references_.push_back({decodedWidth, decodedHeight,
                             std::vector<platform::Pixel>(decodedImage->pixels(),
                                                          decodedImage->pixels() + decodedImage->pixelCount())});
    }
    // No two of them could be taken for one another on the screen.
    for (std::size_t i = 0; i < references_.size(); ++i) {
      for (std::size_t j = 0; j < references_.size(); ++j) {
        if (i == j) continue;
        const auto& a = references_[i].pixels;
        const auto& b = references_[j].pixels;
        const bool alike = a.size() <= b.size() && std::equal(a.begin(), a.end(), b.begin(), channelsWithinOneBelow);
        ASSERT_FALSE(alike) << "slides " << i << " and " << j;
      }
    }
  }

  // The slide the screen shows after a fade (each channel the slide's or one
  // below), or -1.
  int shownSlide() const {
    for (std::size_t k = 0; k < references_.size(); ++k) {
      const Reference& r = references_[k];
      bool match = true;
      for (int y = 0; y < r.height && match; ++y)
        for (int x = 0; x < r.width && match; ++x)
          match = channelsWithinOneBelow(fake::pixel(x, y), r.pixels[static_cast<std::size_t>(y * r.width + x)]);
      if (match) return static_cast<int>(k);
    }
    return -1;
  }

  // The slide cycle as the start-up leaves it: the surface open and black,
  // the pointer at the centre and the anchor there, `slides` in the archive,
  // `first` decoded next and the phase starting now.
  std::optional<int> runCycle(const std::vector<Bytes>& slides, int first) {
    archive_ = archiveOf(slides);
    EXPECT_TRUE(platform::openFullScreen(1024, 768));
    platform::setMouse(512, 384, false, false);
    openSlideArchiveFrom(archive_);
    EXPECT_EQ(slideTable.count(), static_cast<int>(slides.size()));
    takeReferences();
    decodedImage.reset();
    platform::clearSurface();
    captureMouseAnchor();
    nextSlide = first;
    phaseStart = platform::clockSeconds();
    return fake::runUntilExit(runSlideCycle);
  }

  // Calls `seen` at the first hold pass after each fade.
  void onFirstHoldPass(std::function<void()> seen) {
    fake::onPause([this, seen = std::move(seen)](int milliseconds) {
      if (milliseconds == 100 && lastPause_ == 20) seen();
      lastPause_ = milliseconds;
    });
  }

  fs::path tmp_;
  Bytes archive_;
  std::vector<Reference> references_;
  int lastPause_ = 0;
};

// --- the slide cycle ---------------------------------------------------------

TEST_F(ShowTest, SlidesFollowInTurnAndWrapAround) {
  settings.slideSeconds = 5;
  std::vector<int> shown;
  onFirstHoldPass([&] { shown.push_back(shownSlide()); });
  fake::scheduleKey(9.0);
  EXPECT_EQ(runCycle(patternSlides(16), 15), 0);
  ASSERT_GE(shown.size(), 5u);
  EXPECT_EQ(std::vector<int>(shown.begin(), shown.begin() + 5), (std::vector<int>{15, 0, 1, 2, 3}));
}

TEST_F(ShowTest, AFadeBlendsWithTheThirtyTwoAlphasTwentyMillisecondsApart) {
  settings.slideSeconds = 5;
  const Rgb colour{200, 120, 40};
  std::vector<platform::Pixel> seen;
  fake::onPause([&](int milliseconds) {
    if (milliseconds == 20 && seen.size() < 32) seen.push_back(fake::pixel(10, 10));
    EXPECT_EQ(fake::pixel(500, 400), 0u);  // beyond the picture the screen keeps its content
  });
  fake::scheduleKey(4.0);
  EXPECT_EQ(runCycle({testPicture(64, 48, [&](int) { return colour; })}, 0), 0);

  // From black, step a of 0, 8, ..., 248 moves each channel by
  // floor((slide - screen) * (a + 1) / 256); the first step changes nothing.
  ASSERT_EQ(seen.size(), 32u);
  const platform::Pixel slide = references_[0].pixels[0];
  std::array<int, 3> channel{0, 0, 0};
  for (int step = 0; step < 32; ++step) {
    const int a = 8 * step;
    for (int c = 0; c < 3; ++c) {
      const int target = static_cast<int>((slide >> (8 * c)) & 0xFF);
      if (a > 0) channel[static_cast<std::size_t>(c)] += (target - channel[static_cast<std::size_t>(c)]) * (a + 1) / 256;
      EXPECT_EQ(static_cast<int>((seen[static_cast<std::size_t>(step)] >> (8 * c)) & 0xFF),
                channel[static_cast<std::size_t>(c)])
          << "step " << step << ", channel " << c;
    }
  }

  // The rhythm: 32 pauses of 20 ms, then 10 of 100 ms, cycle after cycle.
  const auto rhythm = pauseRhythm();
  ASSERT_GE(rhythm.size(), 4u);
  EXPECT_EQ(rhythm[0], std::make_pair(20, 32));
  EXPECT_EQ(rhythm[1], std::make_pair(100, 10));
  EXPECT_EQ(rhythm[2], std::make_pair(20, 32));
  for (std::size_t i = 0; i < 32; ++i) EXPECT_NEAR(fake::pauses()[i].at, 0.02 * static_cast<double>(i), 1e-9);
}

TEST_F(ShowTest, OneSlideSettlesAfterItsFirstFadeOverBlack) {
  settings.slideSeconds = 20;
  std::vector<platform::Pixel> settled;
  int checkedPauses = 0;
  fake::onPause([&](int milliseconds) {
    if (settled.empty() && milliseconds == 100) {
      // After one fade over black: the slide's value or one below, everywhere.
      ASSERT_EQ(shownSlide(), 0);
      for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) settled.push_back(fake::pixel(x, y));
      return;
    }
    if (settled.empty()) return;
    ++checkedPauses;
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x)
        ASSERT_EQ(fake::pixel(x, y), settled[static_cast<std::size_t>(y * 64 + x)]) << x << "," << y;
  });
  fake::scheduleKey(8.0);
  EXPECT_EQ(runCycle(patternSlides(1), 0), 0);
  EXPECT_GT(checkedPauses, 150);  // four more fades and holds
}

TEST_F(ShowTest, WithoutDarkSecondsThePhaseRestartsButTheScreenNeverDarkens) {
  settings.slideSeconds = 5;
  settings.darkSeconds = 0;
  std::vector<std::pair<double, double>> cycleStarts;  // (clock, phaseStart) at each fade's first pause
  std::vector<int> shown;
  fake::onPause([&](int milliseconds) {
    if (milliseconds == 20 && lastPause_ != 20) cycleStarts.emplace_back(fake::now(), phaseStart);
    if (milliseconds == 100 && lastPause_ == 20) shown.push_back(shownSlide());
    lastPause_ = milliseconds;
  });
  fake::scheduleKey(30.0);
  EXPECT_EQ(runCycle(patternSlides(3), 1), 0);

  // Fade and hold, over and over, until the key cuts the last hold short.
  const auto rhythm = pauseRhythm();
  for (std::size_t i = 0; i + 1 < rhythm.size(); ++i) {
    EXPECT_EQ(rhythm[i], std::make_pair(i % 2 == 0 ? 20 : 100, i % 2 == 0 ? 32 : 10)) << i;
  }
  for (std::size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(shown[i], static_cast<int>((1 + i) % 3)) << i;
  // Strictly more than slideSeconds since the phase began restarts it.
  double phase = 0.0;
  int restarts = 0;
  for (const auto& [clock, observed] : cycleStarts) {
    if (clock - phase > 5.0) {
      phase = clock;
      ++restarts;
    }
    EXPECT_DOUBLE_EQ(observed, phase) << "cycle at " << clock;
  }
  EXPECT_GE(restarts, 4);
}

TEST_F(ShowTest, WithoutSlideSecondsADarkIntervalComesBeforeEverySlideButTheFirst) {
  settings.slideSeconds = 0;
  settings.darkSeconds = 5;
  std::vector<int> shown;
  int darkStarts = 0;
  int pausesSinceFade = 0;
  fake::onPause([&](int milliseconds) {
    pausesSinceFade = milliseconds == 20 ? 0 : pausesSinceFade + 1;
    if (milliseconds == 100 && pausesSinceFade == 1) shown.push_back(shownSlide());
    if (pausesSinceFade == 11) {
      // The first pass of an interval: a freshly cleared screen with the
      // clock alone on it, white dots in the rectangle 480 ... 543, 378 ... 390.
      ++darkStarts;
      int white = 0;
      for (int y = 0; y < 768; ++y) {
        for (int x = 0; x < 1024; ++x) {
          const bool inClock = x >= 480 && x <= 543 && y >= 378 && y <= 390;
          const platform::Pixel p = fake::pixel(x, y);
          if (!inClock) {
            ASSERT_EQ(p, 0u) << x << "," << y;
          }
          white += inClock && p == 0xFFFFFFFFu;
        }
      }
      EXPECT_GT(white, 0);
    }
  });
  fake::scheduleKey(20.0);
  EXPECT_EQ(runCycle(patternSlides(2), 0), 0);

  // Fade and hold, then every later fade is preceded by about 50 passes of
  // the clock (their 100 ms pauses follow the hold's ten).
  const auto rhythm = pauseRhythm();
  ASSERT_GE(rhythm.size(), 6u);
  EXPECT_EQ(rhythm[0], std::make_pair(20, 32));
  for (std::size_t i = 1; i + 1 < rhythm.size(); i += 2) {
    EXPECT_EQ(rhythm[i].first, 100);
    EXPECT_GE(rhythm[i].second, 60) << i;
    EXPECT_LE(rhythm[i].second, 61) << i;
    EXPECT_EQ(rhythm[i + 1], std::make_pair(20, 32)) << i;
  }
  EXPECT_GE(darkStarts, 2);
  ASSERT_GE(shown.size(), 3u);
  for (std::size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(shown[i], static_cast<int>(i % 2)) << i;
}

// --- the whole mode ----------------------------------------------------------

TEST_F(ShowTest, NoSurfaceAtAllIsAFailure) {
  fake::failNextOpen();
  EXPECT_EQ(fake::runUntilExit(showMode), 1);
  EXPECT_FALSE(fs::exists(tmp_ / "velmorascr.ini"));  // nothing else was started
}

// The whole mode with the program's own archive and a settings file: slides
// of 5 s, dark intervals of 5 s, brightness 235.
class WholeShowTest : public ShowTest {
 protected:
  void SetUp() override {
    ShowTest::SetUp();
    ASSERT_FALSE(platform::findResource("GRAF", "CODE").empty());
    std::ofstream(tmp_ / "velmorascr.ini", std::ios::binary)
        << "[settings]\r\nvideomax= 0\r\ndarkmax= 13\r\ndotmode= 10\r\n";
  }
};

TEST_F(WholeShowTest, StartUpTakesTheScreenThenSettingsArchiveAnchorAndARandomSlide) {
  // A pointer somewhere else when the show starts: the show moves it to the
  // centre before it takes the anchor.
  fake::scheduleMouse(0.0, platform::MouseReading{100, 100, 0, 0});
  fake::setRandomValues({15.5 / 16.0});
  bool checked = false;
  fake::onPause([&](int) {
    if (checked) return;
    checked = true;
    EXPECT_EQ(fake::surfaceKind(), fake::SurfaceKind::FullScreen);
    EXPECT_EQ(fake::canvas()->width, 1024);
    EXPECT_EQ(fake::canvas()->height, 768);
    const auto mouse = fake::lastMouseSetting();
    ASSERT_TRUE(mouse.has_value());
    EXPECT_EQ(mouse->x, 512);
    EXPECT_EQ(mouse->y, 384);
    EXPECT_FALSE(mouse->visible);
    EXPECT_FALSE(mouse->confined);
    EXPECT_EQ(settings.slideSeconds, 5);
    EXPECT_EQ(settings.darkSeconds, 5);
    EXPECT_EQ(settings.brightnessLevel, 235);
    EXPECT_EQ(slideTable.count(), 16);
    EXPECT_TRUE(fs::exists(tmp_ / "ijl10.dll"));
    EXPECT_EQ(mouseAnchor.x, 512);
    EXPECT_EQ(mouseAnchor.y, 384);
    EXPECT_EQ(nextSlide, 0);  // slide 15 is being faded in
    EXPECT_EQ(phaseStart, 0.0);
  });
  fake::scheduleKey(0.1);
  EXPECT_EQ(fake::runUntilExit(showMode), 0);
  EXPECT_TRUE(checked);
  EXPECT_EQ(fake::surfaceKind(), fake::SurfaceKind::None);  // closed on the way out
}

TEST_F(WholeShowTest, TheRandomStartAndTheOrderOfTheProgramsOwnSlides) {
  struct Case {
    double r;
    std::vector<int> slides;
  };
  const std::vector<Case> cases = {
      {0.0, {0, 1, 2}},
      {0.5, {8, 9, 10}},
      {15.0 / 16.0, {15, 0, 1}},
      {0.99999, {15, 0, 1}},
  };
  // The references, decoded with the brightness the settings file gives.
  ASSERT_TRUE(platform::openFullScreen(1024, 768));
  loadSettings();
  openSlideArchive();
  takeReferences();
  for (const Case& c : cases) {
    // A fresh process each time.
    resetSlideSource();
    resetSettings();
    resetActivityWatch();
    resetShow();
    fake::reset();
    fake::setEnvironment("TMP", tmp_.string());
    fake::setExecutableDirectory(tmp_.string());
    fake::setRandomValues({c.r});
    std::vector<int> shown;
    onFirstHoldPass([&] { shown.push_back(shownSlide()); });
    // Three slides, each about 1.64 s; the key comes in the third hold.
    fake::scheduleKey(4.5);
    EXPECT_EQ(fake::runUntilExit(showMode), 0);
    EXPECT_EQ(shown, c.slides) << "r = " << c.r;
  }
}

TEST_F(WholeShowTest, AKeyDuringTheFadeEndsTheShowInTheFirstHoldPass) {
  fake::scheduleKey(0.3);
  EXPECT_EQ(fake::runUntilExit(showMode), 0);
  ASSERT_EQ(fake::pauses().size(), 33u);
  EXPECT_EQ(fake::pauses().back().milliseconds, 100);
}

TEST_F(WholeShowTest, MovingTheMouseMoreThanEightPixelsEndsTheShow) {
  struct Case {
    platform::MouseReading reading;  // from 1.0 s on, in the first hold
    bool ends;
  };
  const std::vector<Case> cases = {
      {{520, 392, 0, 0}, false}, {{504, 376, 0, 0}, false}, {{521, 384, 0, 0}, true},
      {{503, 384, 0, 0}, true},  {{512, 393, 0, 0}, true},  {{512, 375, 0, 0}, true},
      {{512, 384, 0, 1}, true},  {{-1, -1, -1, -1}, true},
  };
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    fake::scheduleMouse(1.0, c.reading);
    fake::scheduleKey(3.0);
    EXPECT_EQ(fake::runUntilExit(showMode), 0);
    // Hold passes end at 0.74, 0.84, 0.94 and 1.04 s: the fourth sees it.
    EXPECT_EQ(fake::pauses().size() == 36u, c.ends) << c.reading.x << "," << c.reading.y << " " << c.reading.buttons;
  }
}

}  // namespace
}  // namespace velmora
