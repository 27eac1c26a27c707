// The configuration screen ("/c") on a real display: the window sits in the
// middle of the screen with its widgets where the layout puts them, the
// thumbnail fades the slides in, the sliders follow a mouse drag made with
// the left button alone, "Save" writes exactly the positions shown, and every
// other way out leaves the settings file as it was.

// GoogleTest first: Xlib's macros (None, Bool, Status) would break it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/system/harness.h"

namespace systest {
namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 240;
constexpr double kStartSeconds = 20.0;  // the window is up and drawn within this (Wine starts slowly)
constexpr double kInputSeconds = 3.0;   // a frame has seen injected input within this
constexpr double kExitSeconds = 5.0;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;

const std::string kHeader = "[Velmora Slides Screensaver version 2016.june.09 ini file]\r\n";

std::string settingsBytes(int videomax, int darkmax, int dotmode) {
  return kHeader + "videomax= " + std::to_string(videomax) + "\r\ndarkmax= " + std::to_string(darkmax) +
         "\r\ndotmode= " + std::to_string(dotmode) + "\r\n";
}

void sleepSeconds(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

// A rectangle by two corners, both included, in window pixels.
struct Rect {
  int left, top, right, bottom;
};

// The layout of the screen, in window pixels.
constexpr Rect kWindowOutline{1, 1, 382, 237};
constexpr Rect kThumbnailFrame{63, 7, 320, 172};
constexpr Rect kThumbnailView{64, 8, 319, 171};
constexpr Rect kSaveButton{304, 180, 367, 195};
constexpr Rect kCancelButton{304, 212, 367, 227};
constexpr int kTrackLeft = 112;  // a slider's position 0: v = mx - 112

struct SliderPlace {
  Rect track;
  int knobTop;
  int textY;  // the reference point of the label and the caption
};
constexpr SliderPlace kSliders[] = {
    {{108, 182, 219, 193}, 184, 180},
    {{108, 198, 219, 209}, 200, 196},
    {{108, 214, 219, 225}, 216, 212},
};
constexpr int kLabelX = 16;
constexpr int kCaptionX = 224;
constexpr int kCellHeight = 13;

std::string hex(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "%06X", v);
  return text;
}

// One XGetImage of the whole window.
class Shot {
 public:
  Shot(int left, int top) : pixels_(Screen::get().grab(left, top, kWidth, kHeight)) {}
  std::uint32_t at(int x, int y) const {
    return pixels_[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)];
  }
  // The pixels of an area, row by row.
  std::vector<std::uint32_t> area(Rect r) const {
    std::vector<std::uint32_t> out;
    for (int y = r.top; y <= r.bottom; ++y) {
      for (int x = r.left; x <= r.right; ++x) out.push_back(at(x, y));
    }
    return out;
  }
  bool anyWhite(Rect r) const {
    const auto a = area(r);
    return std::find(a.begin(), a.end(), kWhite) != a.end();
  }

 private:
  std::vector<std::uint32_t> pixels_;
};

// Every pixel of the rectangle's border has the colour; reports the first
// one that has not.
void expectBorder(const Shot& shot, Rect r, std::uint32_t colour, const std::string& what) {
  std::vector<std::pair<int, int>> points;
  for (int x = r.left; x <= r.right; ++x) {
    points.emplace_back(x, r.top);
    points.emplace_back(x, r.bottom);
  }
  for (int y = r.top; y <= r.bottom; ++y) {
    points.emplace_back(r.left, y);
    points.emplace_back(r.right, y);
  }
  for (const auto& [x, y] : points) {
    if (shot.at(x, y) != colour) {
      ADD_FAILURE() << what << ": at " << x << "," << y << " " << hex(shot.at(x, y)) << " instead of " << hex(colour);
      return;
    }
  }
}

Rect grow(Rect r, int by) { return {r.left - by, r.top - by, r.right + by, r.bottom + by}; }

// The slider's position, when its track shows exactly a white outline with
// one white 8 x 8 knob inside and black everywhere else.
std::optional<int> knobPosition(const Shot& shot, int slot) {
  const SliderPlace& s = kSliders[slot - 1];
  int knobLeft = -1;
  for (int x = s.track.left + 1; x < s.track.right && knobLeft < 0; ++x) {
    if (shot.at(x, s.knobTop) == kWhite) knobLeft = x;
  }
  if (knobLeft < 0) return std::nullopt;
  const Rect knob{knobLeft, s.knobTop, knobLeft + 7, s.knobTop + 7};
  for (int y = s.track.top; y <= s.track.bottom; ++y) {
    for (int x = s.track.left; x <= s.track.right; ++x) {
      const bool outline = y == s.track.top || y == s.track.bottom || x == s.track.left || x == s.track.right;
      const bool inKnob = x >= knob.left && x <= knob.right && y >= knob.top && y <= knob.bottom;
      if (shot.at(x, y) != ((outline || inKnob) ? kWhite : kBlack)) return std::nullopt;
    }
  }
  return knobLeft - (kTrackLeft - 2);
}

// The row through the middle of a knob, for failure messages.
std::string trackRow(const Shot& shot, int slot) {
  const SliderPlace& s = kSliders[slot - 1];
  std::string row;
  for (int x = s.track.left; x <= s.track.right; ++x) {
    const std::uint32_t p = shot.at(x, s.knobTop + 4);
    row += p == kWhite ? '#' : p == kBlack ? '.' : '?';
  }
  return "slider " + std::to_string(slot) + " track: " + row;
}

// The seven character cells of a slider's caption.
Rect captionCells(int slot) {
  const int top = kSliders[slot - 1].textY + 2;
  return {kCaptionX, top, kCaptionX + 7 * 8 - 1, top + kCellHeight - 1};
}

// A slider's caption as a picture of '#' (white) and '.' (black), one line a
// pixel row, readable in a failure message.
std::string captionPicture(const Shot& shot, int slot) {
  const Rect r = captionCells(slot);
  std::string picture = "\n";
  for (int y = r.top; y <= r.bottom; ++y) {
    for (int x = r.left; x <= r.right; ++x) {
      const std::uint32_t p = shot.at(x, y);
      picture += p == kWhite ? '#' : p == kBlack ? '.' : '?';
    }
    picture += '\n';
  }
  return picture;
}

// One run of "velmorascr /c" in a sandbox of its own.
class ConfigRun {
 public:
  // `settings`, when given, is written into the sandbox first.
  ConfigRun(Target target, const std::optional<std::string>& settings) : sandbox_(target) {
    // Away from the window, so that nothing of a former test acts on it.
    Screen::get().movePointer(5, 5);
    if (settings) writeFile(sandbox_.settingsFile(), *settings);
    program_.emplace(sandbox_, std::vector<std::string>{"/c"});
  }

  const Sandbox& sandbox() const { return sandbox_; }
  Program& program() { return *program_; }
  int left() const { return window_.x; }
  int top() const { return window_.y; }

  // Waits for the window and its first frame: the thumbnail's frame is
  // drawn after every widget.
  ::testing::AssertionResult awaitDrawn() {
    const bool drawn = waitUntil(
        [&] {
          std::optional<Screen::Window> found;
          for (const auto& w : Screen::get().topLevelWindows()) {
            if (w.width == kWidth && w.height == kHeight) found = w;
          }
          if (!found) return false;
          window_ = *found;
          const Shot shot(window_.x, window_.y);
          return shot.at(kThumbnailFrame.left, kThumbnailFrame.top) == kWhite &&
                 shot.at(kThumbnailFrame.right, kThumbnailFrame.bottom) == kWhite &&
                 shot.at(kWindowOutline.left, kWindowOutline.top) == kWhite &&
                 shot.at(kCancelButton.right, kCancelButton.bottom) == kWhite;
        },
        kStartSeconds, 0.05);
    if (drawn) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no drawn " << kWidth << " x " << kHeight << " window within "
                                         << kStartSeconds << " s; output: " << program_->output();
  }

  Shot shot() const { return Shot(window_.x, window_.y); }
  void moveTo(int x, int y) { Screen::get().movePointer(window_.x + x, window_.y + y); }

  ::testing::AssertionResult awaitKnob(int slot, int position) {
    if (waitUntil([&] { return knobPosition(shot(), slot) == position; }, kInputSeconds)) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "slider " << slot << " knob not at " << position << "; "
                                         << trackRow(shot(), slot);
  }

  // Presses the left button on the knob at `from` (which leaves it there),
  // moves the pointer to the right in steps, waiting at each until the knob
  // has followed, and lets go.
  ::testing::AssertionResult drag(int slot, int from, int to, int step) {
    const int y = kSliders[slot - 1].knobTop + 4;
    moveTo(kTrackLeft + from, y);
    Screen::get().pressButton(1);
    for (int p = from + step; p < to + step; p += step) {
      const int at = std::min(p, to);
      moveTo(kTrackLeft + at, y);
      auto followed = awaitKnob(slot, std::min(at, 99));
      if (!followed) {
        Screen::get().releaseButton(1);
        return followed << " (dragging to " << at << ")";
      }
    }
    Screen::get().releaseButton(1);
    return ::testing::AssertionSuccess();
  }

  // Presses the left button at a point and keeps it down; the program acts
  // on it at its next mouse poll.
  void pressAt(int x, int y) {
    moveTo(x, y);
    Screen::get().pressButton(1);
  }

 private:
  Sandbox sandbox_;
  std::optional<Program> program_;
  Screen::Window window_{};
};

class ConfigSystemTest : public ::testing::TestWithParam<Target> {
 protected:
  // A button held when a program ended is let go, so that the next program
  // (and Wine, which remembers) starts with all buttons up.
  void TearDown() override {
    for (const unsigned button : {1u, 2u, 3u}) Screen::get().releaseButton(button);
    Screen::get().movePointer(5, 5);
  }
};

TEST_P(ConfigSystemTest, TheCentredWindowShowsTheWidgetsAtTheLoadedPositions) {
  const struct {
    const char* what;
    std::optional<std::string> settings;  // written before the start; none: no file
    int positions[3];
    std::string fileAfter;
    // No thumbnail channel is brighter: 252 x 24 / 32 at full brightness;
    // "SCREEN MODE" 75 conditions the slides to 255 - 150 = 105 first.
    std::uint32_t brightestChannel;
  } cases[] = {
      {"no settings file", std::nullopt, {0, 0, 0}, settingsBytes(0, 0, 0), 189},
      {"50/25/75", settingsBytes(50, 25, 75), {50, 25, 75}, settingsBytes(50, 25, 75), 105 * 24 / 32},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ConfigRun run(GetParam(), c.settings);
    ASSERT_TRUE(run.awaitDrawn());
    EXPECT_EQ(run.left(), (1024 - kWidth) / 2);
    EXPECT_EQ(run.top(), (768 - kHeight) / 2);

    const Shot shot = run.shot();
    expectBorder(shot, kWindowOutline, kWhite, "window outline");
    expectBorder(shot, grow(kWindowOutline, 1), kBlack, "around the window outline");
    expectBorder(shot, grow(kWindowOutline, -1), kBlack, "inside the window outline");
    expectBorder(shot, {0, 0, kWidth - 1, kHeight - 1}, kBlack, "the window's edge");
    expectBorder(shot, kThumbnailFrame, kWhite, "thumbnail frame");
    expectBorder(shot, grow(kThumbnailFrame, 1), kBlack, "around the thumbnail frame");
    for (int slot = 1; slot <= 3; ++slot) {
      const SliderPlace& s = kSliders[slot - 1];
      EXPECT_EQ(knobPosition(shot, slot), c.positions[slot - 1]) << trackRow(shot, slot);
      expectBorder(shot, grow(s.track, 1), kBlack, "around slider " + std::to_string(slot));
      EXPECT_TRUE(shot.anyWhite({kLabelX, s.textY + 2, kLabelX + 11 * 8 - 1, s.textY + 2 + kCellHeight - 1}))
          << "slider " << slot << " has no label";
      EXPECT_TRUE(shot.anyWhite(captionCells(slot))) << "slider " << slot << " has no caption";
    }
    for (const auto& [button, name] : {std::pair{kSaveButton, "Save"}, std::pair{kCancelButton, "Cancel"}}) {
      expectBorder(shot, button, kWhite, name);
      expectBorder(shot, grow(button, 1), kBlack, std::string("around ") + name);
      // The label's cells start 2 below the top row + 1 and keep clear of
      // the sides.
      expectBorder(shot, {button.left + 1, button.top + 1, button.right - 1, button.top + 1}, kBlack,
                   std::string("inside ") + name + ", top");
      expectBorder(shot, {button.left + 1, button.top + 1, button.left + 1, button.bottom - 1}, kBlack,
                   std::string("inside ") + name + ", left");
      expectBorder(shot, {button.right - 1, button.top + 1, button.right - 1, button.bottom - 1}, kBlack,
                   std::string("inside ") + name + ", right");
      EXPECT_TRUE(shot.anyWhite({button.left + 2, button.top + 2, button.right - 2, button.bottom - 1}))
          << name << " has no label";
    }
    // The settings file is there from the start, as loaded (created at 0/0/0
    // when it was missing).
    EXPECT_EQ(readFile(run.sandbox().settingsFile()), c.fileAfter);

    // The thumbnail fades a slide in from black; it never shows more than
    // 24/32 of the (conditioned) slide.
    std::uint32_t brightest = 0;
    std::vector<std::uint32_t> seen;
    const bool showsSlide = waitUntil(
        [&] {
          const Shot now = run.shot();
          seen = now.area(kThumbnailView);
          std::size_t lit = 0;
          for (const std::uint32_t p : seen) {
            brightest = std::max({brightest, p >> 16, (p >> 8) & 0xFFu, p & 0xFFu});
            if (p != kBlack) ++lit;
          }
          return lit * 5 >= seen.size();
        },
        15.0, 0.05);
    EXPECT_TRUE(showsSlide) << "the thumbnail stays (nearly) black";
    EXPECT_LE(brightest, c.brightestChannel);
    // ... and goes on changing, frame by frame.
    EXPECT_TRUE(waitUntil([&] { return run.shot().area(kThumbnailView) != seen; }, kInputSeconds));
    expectBorder(run.shot(), kThumbnailFrame, kWhite, "thumbnail frame, later");

    run.moveTo(200, 100);
    Screen::get().tapKey("Escape");
    EXPECT_EQ(run.program().waitExit(kExitSeconds), 0) << run.program().output();
    EXPECT_EQ(readFile(run.sandbox().settingsFile()), c.fileAfter);
  }
}

TEST_P(ConfigSystemTest, DraggingTheKnobsChangesTheCaptionsAndSaveWritesThePositions) {
  ConfigRun run(GetParam(), std::nullopt);
  ASSERT_TRUE(run.awaitDrawn());
  const auto caption = [&](int slot) { return captionPicture(run.shot(), slot); };
  // "005 SEC", "000 SEC", "BRIGHT".
  const auto fiveSeconds = caption(1);
  const auto zeroSeconds = caption(2);
  const auto bright = caption(3);
  ASSERT_NE(fiveSeconds, zeroSeconds);

  // Dark screen 16: five seconds, the caption the first slider shows.
  ASSERT_TRUE(run.drag(2, 0, 16, 4));
  EXPECT_EQ(caption(2), fiveSeconds);
  // Play slides 30: ten seconds.
  ASSERT_TRUE(run.drag(1, 0, 30, 5));
  const auto tenSeconds = caption(1);
  EXPECT_NE(tenSeconds, fiveSeconds);
  EXPECT_NE(tenSeconds, zeroSeconds);
  // Dark screen on to 30: ten seconds too.
  ASSERT_TRUE(run.drag(2, 16, 30, 7));
  EXPECT_EQ(caption(2), tenSeconds);
  // Screen mode beyond the end of the track: the knob stops at 99, "DARKEN".
  ASSERT_TRUE(run.drag(3, 0, 104, 8));
  EXPECT_NE(caption(3), bright);
  // Dragging left nothing behind on the tracks.
  const Shot shot = run.shot();
  EXPECT_EQ(knobPosition(shot, 1), 30) << trackRow(shot, 1);
  EXPECT_EQ(knobPosition(shot, 2), 30) << trackRow(shot, 2);
  EXPECT_EQ(knobPosition(shot, 3), 99) << trackRow(shot, 3);
  EXPECT_EQ(readFile(run.sandbox().settingsFile()), settingsBytes(0, 0, 0)) << "written before Save";

  run.pressAt(335, 188);
  EXPECT_EQ(run.program().waitExit(kExitSeconds), 0) << run.program().output();
  EXPECT_EQ(readFile(run.sandbox().settingsFile()), settingsBytes(30, 30, 99));
}

TEST_P(ConfigSystemTest, TheLeftButtonWithAnotherOneDoesNotDrag) {
  ConfigRun run(GetParam(), std::nullopt);
  ASSERT_TRUE(run.awaitDrawn());
  const auto captionBefore = captionPicture(run.shot(), 1);
  Screen& screen = Screen::get();
  run.moveTo(kTrackLeft, kSliders[0].knobTop + 4);
  screen.pressButton(3);
  screen.pressButton(1);
  for (const int p : {10, 20, 30, 40}) {
    run.moveTo(kTrackLeft + p, kSliders[0].knobTop + 4);
    sleepSeconds(0.25);  // more than one frame, four mouse polls
  }
  Shot shot = run.shot();
  EXPECT_EQ(knobPosition(shot, 1), 0) << trackRow(shot, 1);
  EXPECT_EQ(captionPicture(shot, 1), captionBefore);
  // With the right button up, the same pointer drags.
  screen.releaseButton(3);
  EXPECT_TRUE(run.awaitKnob(1, 40));
  EXPECT_NE(captionPicture(run.shot(), 1), captionBefore);
  screen.releaseButton(1);

  run.moveTo(200, 100);
  screen.tapKey("Escape");
  EXPECT_EQ(run.program().waitExit(kExitSeconds), 0) << run.program().output();
  EXPECT_EQ(readFile(run.sandbox().settingsFile()), settingsBytes(0, 0, 0));
}


TEST_P(ConfigSystemTest, EveryOtherWayOutLeavesTheSettingsFileAlone) {
  // Not the form the program writes: any rewrite, even of the same
  // positions, would show.
  const std::string settings = "VideoMax= 50\ndarkmax=  25\r\ndotmode= 75.0\r\n\r\n";
  const struct {
    const char* way;
    std::function<void(ConfigRun&)> act;
  } ways[] = {
      {"Cancel", [](ConfigRun& run) { run.pressAt(335, 220); }},
      {"Cancel's bottom-right corner", [](ConfigRun& run) { run.pressAt(kCancelButton.right, kCancelButton.bottom); }},
      {"Escape",
       [](ConfigRun& run) {
         run.moveTo(200, 100);
         Screen::get().tapKey("Escape");
       }},
      {"Alt+F4",
       [](ConfigRun& run) {
         run.moveTo(200, 100);
         Screen::get().pressKey("Alt_L");
         Screen::get().tapKey("F4");
         Screen::get().releaseKey("Alt_L");
       }},
      {"the window's close command",
       [](ConfigRun& run) {
         for (const auto& w : Screen::get().topLevelWindows()) {
           if (w.x == run.left() && w.y == run.top() && w.width == kWidth && w.height == kHeight) requestClose(w.id);
         }
       }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.way);
    ConfigRun run(GetParam(), settings);
    ASSERT_TRUE(run.awaitDrawn());
    // A change on the screen that is then dropped.
    ASSERT_TRUE(run.drag(1, 50, 70, 10));
    way.act(run);
    EXPECT_EQ(run.program().waitExit(kExitSeconds), 0) << run.program().output();
    Screen::get().releaseButton(1);
    EXPECT_EQ(readFile(run.sandbox().settingsFile()), settings);
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, ConfigSystemTest, ::testing::Values(Target::Linux, Target::Windows),
                         [](const auto& p) { return targetName(p.param); });

}  // namespace
}  // namespace systest
