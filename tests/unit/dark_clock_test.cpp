// The dark interval: a cleared screen, the time of day bobbing one pixel a
// pass between y = 376 and 408, no trail, and the user's return ending it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/input.h"
#include "present/activity.h"
#include "present/dark_clock.h"
#include "present/text.h"
#include "settings/settings.h"
#include "tests/fake/fake_platform.h"

namespace velmora {
namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr platform::Pixel kSlideColour = 0xFF336699u;

std::string clockTextAt(platform::TimeOfDay start, double now) {
  const long t = (start.hour * 3600L + start.minute * 60L + start.second + static_cast<long>(now)) % 86400L;
  char text[16];
  std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", t / 3600, (t / 60) % 60, t % 60);
  return text;
}

// The surface holds `text` drawn at (x, y) on black and nothing else: the
// cells x ... x + 8n - 1, y + 2 ... y + 14 show the glyphs, every other
// pixel is black.
::testing::AssertionResult showsOnlyText(int x, int y, const std::string& text) {
  const std::uint8_t* font = glyphFont();
  const int right = x + 8 * static_cast<int>(text.size()) - 1;
  for (int py = 0; py < kHeight; ++py) {
    for (int px = 0; px < kWidth; ++px) {
      platform::Pixel want = 0;
      if (px >= x && px <= right && py >= y + 2 && py <= y + 14) {
        const auto code = static_cast<unsigned char>(text[static_cast<std::size_t>((px - x) / 8)]);
        const std::uint8_t row = font[(code - 32) * kGlyphRows + (py - y - 2)];
        want = (row & (0x80 >> ((px - x) % 8))) ? 0xFFFFFFFFu : 0u;
      }
      if (fake::pixel(px, py) != want) {
        return ::testing::AssertionFailure() << "pixel " << px << "," << py << " is " << std::hex
                                             << fake::pixel(px, py) << ", not " << want << " for \"" << text
                                             << "\" at " << std::dec << x << "," << y;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// The show's surface, showing a slide, with the pointer at its centre and
// the anchor taken there.
class DarkClockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    resetSettings();
    resetActivityWatch();
    ASSERT_TRUE(platform::openFullScreen(kWidth, kHeight));
    platform::fillBox(platform::IntRect{0, 0, kWidth - 1, kHeight - 1}, kSlideColour);
    platform::setMouse(512, 384, false, false);
    captureMouseAnchor();
  }
  void TearDown() override { resetActivityWatch(); }

  // The top of each drawing, one per pass, checked as it is shown, and the
  // texts in the order they were shown.
  std::vector<int> runRecordingPasses(platform::TimeOfDay start, std::vector<std::string>* texts = nullptr) {
    std::vector<int> tops;
    fake::setTimeOfDayAtStart(start);
    fake::onPause([&](int milliseconds) {
      EXPECT_EQ(milliseconds, 100);
      const std::string text = clockTextAt(start, fake::now());
      const int pass = static_cast<int>(tops.size());
      const int bob = pass % 64 <= 32 ? pass % 64 : 64 - pass % 64;
      tops.push_back(376 + bob);
      if (texts && (texts->empty() || texts->back() != text)) texts->push_back(text);
      EXPECT_TRUE(showsOnlyText(480, 376 + bob, text)) << "pass " << pass + 1;
    });
    showDarkClock();
    fake::onPause(nullptr);
    return tops;
  }
};

TEST_F(DarkClockTest, TheClockSwingsDownAndBackWithoutATrailAndPassesMidnight) {
  settings.darkSeconds = 10;
  std::vector<std::string> texts;
  const std::vector<int> tops = runRecordingPasses({23, 59, 55}, &texts);
  // About ten passes a second; the virtual clock adds 0.1 s a pass.
  ASSERT_GE(tops.size(), 100u);
  ASSERT_LE(tops.size(), 101u);
  EXPECT_EQ(tops[0], 376);
  EXPECT_EQ(tops[32], 408);  // the lowest drawing, on the 33rd pass
  EXPECT_EQ(tops[64], 376);
  EXPECT_EQ(tops[96], 408);
  // Each second shown in turn; the hour never reads 24.
  ASSERT_GE(texts.size(), 10u);
  const std::vector<std::string> expected = {"23:59:55", "23:59:56", "23:59:57", "23:59:58", "23:59:59",
                                             "00:00:00", "00:00:01", "00:00:02", "00:00:03", "00:00:04"};
  EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 10), expected);
}

TEST_F(DarkClockTest, EveryIntervalStartsAtTheTopOnAFreshBlackScreen) {
  settings.darkSeconds = 5;
  for (int interval = 0; interval < 2; ++interval) {
    SCOPED_TRACE(interval);
    const std::vector<int> tops = runRecordingPasses({7, 5, 9});
    EXPECT_GE(tops.size(), 50u);
    EXPECT_LE(tops.size(), 51u);
    // The slide that follows paints over it; the next interval clears again.
    platform::fillBox(platform::IntRect{0, 0, kWidth - 1, kHeight - 1}, kSlideColour);
  }
}

TEST_F(DarkClockTest, AnUnreadableTimeDrawsNothing) {
  settings.darkSeconds = 2;
  fake::setTimeOfDayAtStart(std::nullopt);
  int passes = 0;
  fake::onPause([&](int) {
    ++passes;
    EXPECT_TRUE(showsOnlyText(512, 376, "")) << "pass " << passes;
  });
  showDarkClock();
  EXPECT_GE(passes, 20);
  EXPECT_LE(passes, 21);
}

TEST_F(DarkClockTest, TheUsersReturnEndsTheProcessAtTheNextPass) {
  struct Case {
    const char* what;
    std::optional<platform::MouseReading> mouse;  // from 0.25 s on
    bool key;                                     // arriving at 0.25 s
    std::optional<int> exitCode;
    std::size_t pauses;
  };
  const std::vector<Case> cases = {
      {"a key", std::nullopt, true, 0, 3},
      {"9 pixels right", platform::MouseReading{521, 384, 0, 0}, false, 0, 3},
      {"9 pixels up", platform::MouseReading{512, 375, 0, 0}, false, 0, 3},
      {"a held button", platform::MouseReading{512, 384, 0, 4}, false, 0, 3},
      {"the window no longer active", platform::MouseReading{}, false, 0, 3},
      {"8 pixels right and down", platform::MouseReading{520, 392, 0, 0}, false, std::nullopt, 30},
  };
  for (const Case& c : cases) {
    SetUp();
    settings.darkSeconds = 3;
    if (c.mouse) fake::scheduleMouse(0.25, *c.mouse);
    if (c.key) fake::scheduleKey(0.25);
    EXPECT_EQ(fake::runUntilExit(showDarkClock), c.exitCode) << c.what;
    // A long pause ends when a key arrives; the test follows at once.
    EXPECT_GE(fake::pauses().size(), c.pauses) << c.what;
    EXPECT_LE(fake::pauses().size(), c.pauses + 1) << c.what;
  }
}

}  // namespace
}  // namespace velmora
