// The display backend on a real X server, through the display probe: what
// is drawn appears exactly on the screen, the small window sits in the
// middle, injected keys and mouse input arrive, and every way out gives the
// display its mode back.

// GoogleTest first: Xlib's macros (None, Bool, Status) would break it.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/system/harness.h"

namespace systest {
namespace {

constexpr double kStartSeconds = 10.0;  // a probe is up and drawn within this
constexpr double kInputSeconds = 3.0;   // injected input is reported within this

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

// One run of the display probe with its report.
class Probe {
 public:
  Probe(Target target, std::vector<std::string> arguments, std::map<std::string, std::string> environment = {})
      : sandbox_(target, displayProbe(target)),
        report_(sandbox_.dir() + "/report.txt"),
        program_(sandbox_, withReport(std::move(arguments)), std::move(environment)) {}

  Program& program() { return program_; }
  std::vector<std::string> report() const { return lines(readFile(report_)); }
  std::string reportText() const { return readFile(report_); }

  // Waits for a report line equal to `line` among those after the ones
  // already seen; what it saw up to that line counts as seen.
  bool awaitLine(const std::string& line, double seconds = kInputSeconds) {
    return waitUntil(
        [&] {
          const auto all = report();
          for (std::size_t i = seen_; i < all.size(); ++i) {
            if (all[i] == line) {
              seen_ = i + 1;
              return true;
            }
          }
          return false;
        },
        seconds);
  }
  // What the probe drew into its surface's memory, 0x00RRGGBB.
  std::vector<std::uint32_t> canvas() const {
    const std::string bytes = readFile(report_ + ".pixels");
    std::vector<std::uint32_t> pixels(bytes.size() / 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
      std::uint32_t word = 0;
      for (std::size_t b = 0; b < 3; ++b) word |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[4 * i + b])) << (8 * b);
      pixels[i] = word;
    }
    return pixels;
  }

 private:
  std::vector<std::string> withReport(std::vector<std::string> arguments) const {
    std::string path = report_;
    if (sandbox_.target() == Target::Windows) {
      // Wine's drive Z: is the root of the host's file system.
      for (char& c : path) c = c == '/' ? '\\' : c;
      path = "Z:" + path;
    }
    arguments.insert(arguments.begin() + 1, path);
    return arguments;
  }

  Sandbox sandbox_;
  std::string report_;
  Program program_;
  std::size_t seen_ = 0;
};

std::string hex(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "%06X", v);
  return text;
}

// Compares a screen area with the probe's surface memory; reports the first
// few differences.
void expectSameScreen(const std::vector<std::uint32_t>& screen, const std::vector<std::uint32_t>& canvas, int width) {
  ASSERT_EQ(screen.size(), canvas.size());
  int reported = 0;
  std::size_t differing = 0;
  for (std::size_t i = 0; i < screen.size(); ++i) {
    if (screen[i] == canvas[i]) continue;
    ++differing;
    if (reported++ < 5) {
      ADD_FAILURE() << "at " << i % static_cast<std::size_t>(width) << "," << i / static_cast<std::size_t>(width)
                    << " the screen shows " << hex(screen[i]) << ", the surface holds " << hex(canvas[i]);
    }
  }
  EXPECT_EQ(differing, 0u);
}

// The scene's points whose values follow from the drawing rules by hand,
// relative to the surface's top-left corner at (left, top).
void expectKnownScenePixels(int left, int top, int width, int height) {
  Screen& screen = Screen::get();
  const struct {
    int x, y;
    std::uint32_t rgb;
    const char* what;
  } points[] = {
      {8, 24, 0x336699, "filled box"},
      {57, 53, 0x336699, "filled box, far corner"},
      {64, 24, 0xFFCC00, "box outline"},
      {65, 25, 0x000000, "inside the box outline"},
      {130, 53, 0x80FF40, "outline given by swapped corners"},
      {190, 24, 0xC08040, "skip colour leaves the surface"},
      {191, 24, 0x764D26, "blend of (5,0,0) over (192,128,64) at alpha 100"},
      {19, 69, 0x00FF00, "viewport border"},
      {20, 70, 0xFF0000, "viewport-clipped box"},
      {width - 1, 0, 0x00FF00, "top-right pixel"},
      {0, height - 1, 0x0000FF, "bottom-left pixel"},
      {width - 1, height - 1, 0xFFFFFF, "bottom-right pixel"},
      {width - 2, height - 1, 0xFF0000, "next to it"},
      {64, 228, 0x00FF00, "gradient, first"},
      {64 + 255, 228, 0xFF007F, "gradient, last"},
  };
  for (const auto& p : points) {
    EXPECT_EQ(hex(screen.pixel(left + p.x, top + p.y)), hex(p.rgb)) << p.what << " at " << p.x << "," << p.y;
  }
}


// Moves the pointer twice inside the probe's 384 x 240 window and waits
// for both readings. The probe handles input in order and reports its key
// entries right after each reading, so every entry that input given before
// the call makes is in the report once this returns.
void syncWithProbe(Probe& probe, const Screen::Window& window) {
  for (const int x : {200, 201}) {
    Screen::get().movePointer(window.x + x, window.y + 100);
    ASSERT_TRUE(probe.awaitLine("mouse " + std::to_string(x) + " 100 0 0")) << probe.reportText();
  }
}

std::pair<int, int> pointerPosition() {
  Display* d = Screen::get().x();
  ::Window root = 0, child = 0;
  int x = -1, y = -1, wx = 0, wy = 0;
  unsigned mask = 0;
  XQueryPointer(d, DefaultRootWindow(d), &root, &child, &x, &y, &wx, &wy, &mask);
  return {x, y};
}

std::optional<Screen::Window> probeWindow(int width, int height) {
  for (const auto& w : Screen::get().topLevelWindows()) {
    if (w.width == width && w.height == height) return w;
  }
  return std::nullopt;
}

class DisplaySystemTest : public ::testing::TestWithParam<Target> {};

TEST_P(DisplaySystemTest, TheFullScreenSurfaceShowsExactlyWhatWasDrawn) {
  Screen::get().movePointer(10, 10);  // away from where the probe puts it
  Probe probe(GetParam(), {"full"});
  ASSERT_TRUE(probe.awaitLine("ready", kStartSeconds)) << probe.reportText() << probe.program().output();
  EXPECT_EQ(probe.report().front(), "open 1 1024 768");
  expectSameScreen(Screen::get().grab(0, 0, 1024, 768), probe.canvas(), 1024);
  expectKnownScenePixels(0, 0, 1024, 768);
  // Nothing was drawn beyond the scene: the new surface is black there.
  for (const std::uint32_t p : Screen::get().grab(400, 300, 600, 400)) ASSERT_EQ(p, 0u);
  // The probe put the pointer in the middle, and its first reading says so.
  EXPECT_TRUE(probe.awaitLine("mouse 512 384 0 0")) << probe.reportText();
  EXPECT_EQ(pointerPosition(), std::make_pair(512, 384));
}

TEST_P(DisplaySystemTest, TheSmallWindowIsCentredAndShowsExactlyWhatWasDrawn) {
  Probe probe(GetParam(), {"window"});
  ASSERT_TRUE(probe.awaitLine("ready", kStartSeconds)) << probe.reportText() << probe.program().output();
  const auto window = probeWindow(384, 240);
  ASSERT_TRUE(window) << "no 384 x 240 window";
  EXPECT_EQ(window->x, (1024 - 384) / 2);
  EXPECT_EQ(window->y, (768 - 240) / 2);
  expectSameScreen(Screen::get().grab(window->x, window->y, 384, 240), probe.canvas(), 384);
  expectKnownScenePixels(window->x, window->y, 384, 240);
}

TEST_P(DisplaySystemTest, EveryKeyMakesOneEntryAndAModifierAloneNone) {
  // The third entry ends the probe with exit code 7.
  Probe probe(GetParam(), {"window", "7", "3"});
  ASSERT_TRUE(probe.awaitLine("ready", kStartSeconds)) << probe.program().output();
  const auto window = probeWindow(384, 240);
  ASSERT_TRUE(window);
  Screen& screen = Screen::get();
  screen.tapKey("a");
  ASSERT_TRUE(probe.awaitLine("key 1")) << probe.reportText();
  for (const char* modifier : {"Shift_L", "Shift_R", "Control_L", "Control_R", "Alt_L", "Super_L", "Caps_Lock"}) {
    screen.tapKey(modifier);
  }
  screen.tapKey("Caps_Lock");  // and off again
  ASSERT_NO_FATAL_FAILURE(syncWithProbe(probe, *window));
  const auto report = probe.report();
  EXPECT_EQ(std::count(report.begin(), report.end(), "key 2"), 0) << probe.reportText();
  screen.tapKey("F5");
  ASSERT_TRUE(probe.awaitLine("key 2")) << probe.reportText();
  screen.tapKey("Left");
  ASSERT_TRUE(probe.awaitLine("key 3")) << probe.reportText();
  EXPECT_EQ(probe.program().waitExit(kInputSeconds), 7) << probe.reportText();
}

TEST_P(DisplaySystemTest, AKeyPressedBeforeThePollWaitsInTheBuffer) {
  Probe probe(GetParam(), {"window", "0", "2"});
  ASSERT_TRUE(probe.awaitLine("ready", kStartSeconds)) << probe.program().output();
  Screen::get().movePointer(512, 384);
  // Two keys in quick succession: both entries are taken, one by one.
  Screen::get().tapKey("Home");
  Screen::get().tapKey("Insert");
  EXPECT_EQ(probe.program().waitExit(kInputSeconds), 0) << probe.reportText();
  const auto report = probe.report();
  EXPECT_EQ(std::count(report.begin(), report.end(), "key 1"), 1);
  EXPECT_EQ(std::count(report.begin(), report.end(), "key 2"), 1);
}

TEST_P(DisplaySystemTest, AKeyEndsALongPauseEarly) {
  Probe probe(GetParam(), {"long-pause"});
  ASSERT_TRUE(probe.awaitLine("ready", kStartSeconds)) << probe.program().output();
  Screen::get().tapKey("space");
  // The pause was for a minute.
  EXPECT_EQ(probe.program().waitExit(kInputSeconds), 0) << probe.reportText();
}

TEST_P(DisplaySystemTest, AHeldKeyRepeatsItsEntry) {
  Probe probe(GetParam(), {"window", "0", "1000"});
  ASSERT_TRUE(probe.awaitLine("ready", kStartSeconds)) << probe.program().output();
  Screen::get().pressKey("Down");
  // The X server repeats a held key after its delay (660 ms on Xvfb).
  const bool repeated = probe.awaitLine("key 5");
  Screen::get().releaseKey("Down");
  EXPECT_TRUE(repeated) << probe.reportText();
}

TEST_P(DisplaySystemTest, TheMouseIsReadInSurfacePixelsOnlyWhileOverTheWindow) {
  Probe probe(GetParam(), {"window"});
  ASSERT_TRUE(probe.awaitLine("ready", kStartSeconds)) << probe.program().output();
  const auto window = probeWindow(384, 240);
  ASSERT_TRUE(window);
  Screen& screen = Screen::get();
  const struct {
    const char* what;
    std::function<void()> act;
    const char* reading;
  } steps[] = {
      {"move in", [&] { screen.movePointer(window->x + 100, window->y + 50); }, "mouse 100 50 0 0"},
      {"left down", [&] { screen.pressButton(1); }, "mouse 100 50 0 1"},
      {"right down too", [&] { screen.pressButton(3); }, "mouse 100 50 0 3"},
      {"both up",
       [&] {
         screen.releaseButton(1);
         screen.releaseButton(3);
       },
       "mouse 100 50 0 0"},
      {"middle down", [&] { screen.pressButton(2); }, "mouse 100 50 0 4"},
      {"middle up", [&] { screen.releaseButton(2); }, "mouse 100 50 0 0"},
      {"wheel up",
       [&] {
         screen.pressButton(4);
         screen.releaseButton(4);
       },
       "mouse 100 50 1 0"},
      {"wheel down twice",
       [&] {
         for (int i = 0; i < 2; ++i) {
           screen.pressButton(5);
           screen.releaseButton(5);
         }
       },
       "mouse 100 50 -1 0"},
      {"last pixel", [&] { screen.movePointer(window->x + 383, window->y + 239); }, "mouse 383 239 -1 0"},
      {"out to the right", [&] { screen.movePointer(window->x + 384, window->y + 100); }, "mouse -1 -1 -1 -1"},
      {"back in", [&] { screen.movePointer(window->x, window->y); }, "mouse 0 0 -1 0"},
      {"out above", [&] { screen.movePointer(window->x + 10, window->y - 1); }, "mouse -1 -1 -1 -1"},
  };
  for (const auto& step : steps) {
    step.act();
    ASSERT_TRUE(probe.awaitLine(step.reading)) << step.what << "\n" << probe.reportText();
  }
}

TEST_P(DisplaySystemTest, TheFullScreenSurfaceReadsTheMouseAnywhere) {
  Probe probe(GetParam(), {"full"});
  ASSERT_TRUE(probe.awaitLine("ready", kStartSeconds)) << probe.program().output();
  Screen& screen = Screen::get();
  for (const auto& [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {1023, 767}, {512, 384}, {9, 700}}) {
    screen.movePointer(x, y);
    ASSERT_TRUE(probe.awaitLine("mouse " + std::to_string(x) + " " + std::to_string(y) + " 0 0"))
        << x << "," << y << "\n" << probe.reportText();
  }
}

TEST_P(DisplaySystemTest, ClosingTheWindowArrivesAsOneKey) {
  Probe probe(GetParam(), {"window", "5", "2"});
  ASSERT_TRUE(probe.awaitLine("ready", kStartSeconds)) << probe.program().output();
  const auto window = probeWindow(384, 240);
  ASSERT_TRUE(window);
  requestClose(window->id);
  ASSERT_TRUE(probe.awaitLine("key 1")) << probe.reportText();
  // One close command is one entry: the probe waits for a second one.
  ASSERT_NO_FATAL_FAILURE(syncWithProbe(probe, *window));
  const auto report = probe.report();
  EXPECT_EQ(std::count(report.begin(), report.end(), "key 2"), 0) << probe.reportText();
  EXPECT_TRUE(probe.program().running());
  requestClose(window->id);
  EXPECT_EQ(probe.program().waitExit(kInputSeconds), 5) << probe.reportText();
}

// The display runs in a mode of its own (800 x 600) while the probe takes
// the full screen at 1024 x 768; every way out gives the 800 x 600 back.
class DisplayModeSystemTest : public DisplaySystemTest {
 protected:
  void SetUp() override { setMode(800, 600); }
  void TearDown() override { setMode(1024, 768); }
};

TEST_P(DisplayModeSystemTest, EveryWayOutGivesTheDisplayItsModeBack) {
  const struct {
    const char* way;
    int signal;  // 0: a key
    int exitCode;
  } ways[] = {{"SIGTERM", SIGTERM, 0}, {"SIGINT", SIGINT, 0}, {"SIGHUP", SIGHUP, 0}, {"a key", 0, 3}};
  for (const auto& way : ways) {
    // Wine ends a Windows program at once on a signal: it has no way to
    // answer one.
    if (way.signal != 0 && GetParam() == Target::Windows) continue;
    ASSERT_EQ(currentMode().width, 800) << way.way;
    Probe probe(GetParam(), {"full", "3"});
    ASSERT_TRUE(probe.awaitLine("ready", kStartSeconds)) << way.way << probe.program().output();
    const ScreenMode during = currentMode();
    EXPECT_EQ(during.width, 1024) << way.way;
    EXPECT_EQ(during.height, 768) << way.way;
    if (way.signal != 0) {
      probe.program().signal(way.signal);
    } else {
      Screen::get().movePointer(512, 384);
      Screen::get().tapKey("Escape");
    }
    EXPECT_EQ(probe.program().waitExit(kInputSeconds), way.exitCode) << way.way << probe.program().output();
    const ScreenMode after = currentMode();
    EXPECT_EQ(after.width, 800) << way.way;
    EXPECT_EQ(after.height, 600) << way.way;
  }
}

TEST_P(DisplaySystemTest, WithoutADisplayTheProbeSaysSoAndEndsWithOne) {
  // A display that does not exist.
  Probe probe(GetParam(), {"full"}, {{"DISPLAY", ":4095"}});
  const auto code = probe.program().waitExit(kStartSeconds);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 1);
  // On Windows the user is told in a message box, which without a display
  // cannot be seen.
  if (GetParam() == Target::Linux) {
    EXPECT_NE(probe.program().output().find("no display surface could be opened"), std::string::npos)
        << probe.program().output();
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, DisplaySystemTest, ::testing::Values(Target::Linux, Target::Windows),
                         [](const auto& p) { return targetName(p.param); });
INSTANTIATE_TEST_SUITE_P(Targets, DisplayModeSystemTest, ::testing::Values(Target::Linux, Target::Windows),
                         [](const auto& p) { return targetName(p.param); });

}  // namespace
}  // namespace systest
