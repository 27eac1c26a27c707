// The Windows display host under Wine on Xvfb. The display probe, built for
// Windows, opens the real surface and draws a known scene through it; these
// tests read the screen, inject keys and mouse through XTest, and read what
// the probe reports.
// GoogleTest first: Xlib's macros (None, Bool, Status) would break it.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/display.h"
#include "tests/fake/fake_platform.h"
#include "tests/system/harness.h"
#include "tests/system/probe_scene.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace systest {
namespace {

constexpr double kStartSeconds = 30.0;  // Wine's start, on a busy machine
constexpr double kEventSeconds = 10.0;

std::string displayProbe() { return windowsBuildDir() + "/tests/velmora-display-probe.exe"; }
std::string crashProbe() { return windowsBuildDir() + "/tests/velmora-win32-probe.exe"; }

// The scene as the portable drawing code makes it on an in-memory surface of
// the same size, as 0x00RRGGBB words.
std::vector<std::uint32_t> referenceScene(int width, int height) {
  fake::reset();
  platform::openFullScreen(width, height);
  probe::drawScene();
  std::vector<std::uint32_t> words;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) words.push_back(fake::pixel(x, y) & 0xFFFFFFu);
  }
  fake::reset();
  return words;
}

// Where the screen first differs from `expected`, or "" when it shows it.
std::string firstDifference(int left, int top, int width, int height, const std::vector<std::uint32_t>& expected) {
  const auto shown = Screen::get().grab(left, top, width, height);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] != expected[i]) {
      std::ostringstream s;
      s << "pixel (" << i % static_cast<std::size_t>(width) << ", " << i / static_cast<std::size_t>(width)
        << ") shows " << std::hex << shown[i] << ", drawn " << expected[i];
      return s.str();
    }
  }
  return "";
}

bool showsExactly(int left, int top, int width, int height, const std::vector<std::uint32_t>& expected,
                  std::string& difference) {
  return waitUntil(
      [&] {
        difference = firstDifference(left, top, width, height, expected);
        return difference.empty();
      },
      kEventSeconds, 0.1);
}

std::optional<Screen::Window> windowOfSize(int width, int height) {
  for (const auto& w : Screen::get().topLevelWindows()) {
    if (w.width == width && w.height == height) return w;
  }
  return std::nullopt;
}

// One run of the display probe: "full" or "window"; it ends with `exitCode`
// at its `keysToEnd`-th key entry.
class ProbeRun {
 public:
  ProbeRun(const std::string& mode, int exitCode, int keysToEnd)
      : sandbox_(Target::Windows, displayProbe()),
        program_(sandbox_, {mode, "report.txt", std::to_string(exitCode), std::to_string(keysToEnd)}) {}

  Program& program() { return program_; }

  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    std::istringstream in(readFile(sandbox_.dir() + "/report.txt"));
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      result.push_back(line);
    }
    return result;
  }

  bool reported(const std::string& line) const {
    for (const auto& l : lines()) {
      if (l == line) return true;
    }
    return false;
  }

  // The last line that starts with `prefix`; "" when there is none.
  std::string last(const std::string& prefix) const {
    std::string found;
    for (const auto& l : lines()) {
      if (l.rfind(prefix, 0) == 0) found = l;
    }
    return found;
  }

  bool waitReported(const std::string& line, double seconds = kEventSeconds) const {
    return waitUntil([&] { return reported(line); }, seconds);
  }
  bool waitLast(const std::string& prefix, const std::string& line) const {
    return waitUntil([&] { return last(prefix) == line; }, kEventSeconds);
  }

  std::string transcript() {
    std::string text = "report:\n";
    for (const auto& l : lines()) text += "  " + l + "\n";
    return text + "output:\n" + program_.output();
  }

 private:
  Sandbox sandbox_;
  Program program_;
};

class Win32DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(displayProbe())) << "build the Windows target first: " << displayProbe();
    // Wine may still hold a button of an earlier test as down.
    for (unsigned b : {1u, 2u, 3u}) Screen::get().releaseButton(b);
    Screen::get().movePointer(1000, 760);
  }
};

TEST_F(Win32DisplayTest, FullScreenShowsTheSceneExactlyAndEndsWithItsCode) {
  ProbeRun probe("full", 7, 1);
  ASSERT_TRUE(probe.waitReported("ready", kStartSeconds)) << probe.transcript();
  EXPECT_TRUE(probe.reported("open 1 1024 768"));
  const auto window = windowOfSize(1024, 768);
  ASSERT_TRUE(window.has_value());
  EXPECT_EQ(window->x, 0);
  EXPECT_EQ(window->y, 0);
  std::string difference;
  EXPECT_TRUE(showsExactly(0, 0, 1024, 768, referenceScene(1024, 768), difference)) << difference;

  Screen::get().tapKey("space");
  EXPECT_EQ(probe.program().waitExit(kEventSeconds), 7) << probe.transcript();
  EXPECT_FALSE(windowOfSize(1024, 768).has_value());
}

TEST_F(Win32DisplayTest, FramelessWindowIsCentredAndShowsTheSceneExactly) {
  ProbeRun probe("window", 0, 1);
  ASSERT_TRUE(probe.waitReported("ready", kStartSeconds)) << probe.transcript();
  EXPECT_TRUE(probe.reported("open 1 384 240"));
  const auto window = windowOfSize(384, 240);
  ASSERT_TRUE(window.has_value());
  EXPECT_EQ(window->x, (1024 - 384) / 2);
  EXPECT_EQ(window->y, (768 - 240) / 2);
  std::string difference;
  EXPECT_TRUE(showsExactly(320, 264, 384, 240, referenceScene(384, 240), difference)) << difference;

  Screen::get().tapKey("Escape");
  EXPECT_EQ(probe.program().waitExit(kEventSeconds), 0) << probe.transcript();
}

// Presses the keys of a chord in order ("Alt_L+F4") and releases them in
// reverse.
void tapChord(const std::string& chord) {
  std::vector<std::string> keys;
  std::istringstream in(chord);
  for (std::string key; std::getline(in, key, '+');) keys.push_back(key);
  for (const auto& k : keys) Screen::get().pressKey(k);
  for (auto k = keys.rbegin(); k != keys.rend(); ++k) Screen::get().releaseKey(*k);
}

TEST_F(Win32DisplayTest, TypedCharactersExtendedKeysAndTheCloseCommandMakeOneEntryEach) {
  struct Case {
    const char* chord;
    int entries;
  };
  const Case cases[] = {
      {"a", 1},         {"Return", 1},    {"Escape", 1},     {"BackSpace", 1}, {"Control_L+c", 1},
      {"Left", 1},      {"Up", 1},        {"Next", 1},       {"Prior", 1},     {"Home", 1},
      {"End", 1},       {"Insert", 1},    {"Delete", 1},     {"F1", 1},        {"F10", 1},
      {"F12", 1},       {"Shift_L+a", 1}, {"Alt_L+x", 1},    {"Shift_L", 0},   {"Control_L", 0},
      {"Alt_L", 0},     {"Alt_L+F4", 1},  {"Shift_R", 0},    {"Control_R", 0},
  };
  int total = 0;
  for (const auto& c : cases) total += c.entries;
  // The probe ends at the entry after the table's.
  ProbeRun probe("window", 5, total + 1);
  ASSERT_TRUE(probe.waitReported("ready", kStartSeconds)) << probe.transcript();

  int expected = 0;
  for (const auto& c : cases) {
    tapChord(c.chord);
    // A key that makes its entry later than the one before it would be
    // counted wrong here: each case waits for its own count and a little more.
    expected += c.entries;
    const std::string line = expected == 0 ? "" : "key " + std::to_string(expected);
    EXPECT_TRUE(probe.waitLast("key ", line)) << c.chord << "\n" << probe.transcript();
    EXPECT_FALSE(waitUntil([&] { return probe.last("key ") != line; }, 0.3)) << c.chord << " made more entries";
  }
  EXPECT_TRUE(windowOfSize(384, 240).has_value()) << "Alt+F4 must leave the window to the program";
  Screen::get().tapKey("a");
  EXPECT_EQ(probe.program().waitExit(kEventSeconds), 5) << probe.transcript();
}

// The window manager's close request (WM_DELETE_WINDOW), as a desktop sends
// it when the user closes a window.
void requestClose(unsigned long window) {
  Display* d = Screen::get().x();
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, window, False, NoEventMask, &e);
  XSync(d, False);
}

TEST_F(Win32DisplayTest, CloseRequestMakesOneEntryAndLeavesTheWindowOpen) {
  ProbeRun probe("window", 4, 2);
  ASSERT_TRUE(probe.waitReported("ready", kStartSeconds)) << probe.transcript();
  const auto window = windowOfSize(384, 240);
  ASSERT_TRUE(window.has_value());

  requestClose(window->id);
  EXPECT_TRUE(probe.waitReported("key 1")) << probe.transcript();
  EXPECT_FALSE(probe.waitReported("key 2", 0.5));
  EXPECT_TRUE(probe.program().running());
  EXPECT_TRUE(windowOfSize(384, 240).has_value());

  requestClose(window->id);
  EXPECT_EQ(probe.program().waitExit(kEventSeconds), 4) << probe.transcript();
}

TEST_F(Win32DisplayTest, MouseReadsInWindowPixelsOnlyInsideTheClientArea) {
  ProbeRun probe("window", 0, 1);
  ASSERT_TRUE(probe.waitReported("ready", kStartSeconds)) << probe.transcript();
  Screen& screen = Screen::get();
  // The window's top-left pixel is screen pixel (320, 264).
  struct Step {
    const char* what;
    std::function<void()> act;
    const char* reading;
  };
  const Step steps[] = {
      {"move in", [&] { screen.movePointer(330, 270); }, "mouse 10 6 0 0"},
      {"left down", [&] { screen.pressButton(1); }, "mouse 10 6 0 1"},
      {"left up", [&] { screen.releaseButton(1); }, "mouse 10 6 0 0"},
      {"right down", [&] { screen.pressButton(3); }, "mouse 10 6 0 2"},
      {"left too", [&] { screen.pressButton(1); }, "mouse 10 6 0 3"},
      {"both up",
       [&] {
         screen.releaseButton(1);
         screen.releaseButton(3);
       },
       "mouse 10 6 0 0"},
      {"middle down", [&] { screen.pressButton(2); }, "mouse 10 6 0 4"},
      {"middle up", [&] { screen.releaseButton(2); }, "mouse 10 6 0 0"},
      {"wheel up",
       [&] {
         screen.pressButton(4);
         screen.releaseButton(4);
       },
       "mouse 10 6 1 0"},
      {"wheel down twice",
       [&] {
         for (int i = 0; i < 2; ++i) {
           screen.pressButton(5);
           screen.releaseButton(5);
         }
       },
       "mouse 10 6 -1 0"},
      {"bottom-right pixel", [&] { screen.movePointer(703, 503); }, "mouse 383 239 -1 0"},
      {"just outside it", [&] { screen.movePointer(704, 504); }, "mouse -1 -1 -1 -1"},
      {"top-left pixel", [&] { screen.movePointer(320, 264); }, "mouse 0 0 -1 0"},
      {"just outside that", [&] { screen.movePointer(319, 264); }, "mouse -1 -1 -1 -1"},
      {"back in", [&] { screen.movePointer(500, 400); }, "mouse 180 136 -1 0"},
  };
  for (const auto& step : steps) {
    step.act();
    EXPECT_TRUE(probe.waitLast("mouse ", step.reading)) << step.what << "\n" << probe.transcript();
  }
  screen.tapKey("a");
  EXPECT_EQ(probe.program().waitExit(kEventSeconds), 0) << probe.transcript();
}

TEST_F(Win32DisplayTest, MouseReadingFailsWhileAnotherWindowIsInFront) {
  ProbeRun behind("window", 0, 1);
  ASSERT_TRUE(behind.waitReported("ready", kStartSeconds)) << behind.transcript();
  Screen::get().movePointer(330, 270);
  ASSERT_TRUE(behind.waitLast("mouse ", "mouse 10 6 0 0")) << behind.transcript();
  {
    // A second window at the same place takes the foreground.
    ProbeRun front("window", 0, 1);
    ASSERT_TRUE(front.waitReported("ready", kStartSeconds)) << front.transcript();
    EXPECT_TRUE(behind.waitLast("mouse ", "mouse -1 -1 -1 -1")) << behind.transcript();
    EXPECT_TRUE(front.waitLast("mouse ", "mouse 10 6 0 0")) << front.transcript();
    Screen::get().tapKey("a");
    EXPECT_EQ(front.program().waitExit(kEventSeconds), 0) << front.transcript();
  }
  // The first window is in front again.
  EXPECT_TRUE(behind.waitLast("mouse ", "mouse 10 6 0 0")) << behind.transcript();
  Screen::get().tapKey("a");
  EXPECT_EQ(behind.program().waitExit(kEventSeconds), 0) << behind.transcript();
}

// Puts the X screen into an 800 x 600 mode for the life of the object, and
// back into its own mode after.
class SmallerMode {
 public:
  SmallerMode()
      : d_(Screen::get().x()),
        root_(DefaultRootWindow(d_)),
        width_(DisplayWidth(d_, DefaultScreen(d_))),
        height_(DisplayHeight(d_, DefaultScreen(d_))),
        widthMm_(DisplayWidthMM(d_, DefaultScreen(d_))),
        heightMm_(DisplayHeightMM(d_, DefaultScreen(d_))) {
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(d_, root_);
    output_ = res->outputs[0];
    XRROutputInfo* out = XRRGetOutputInfo(d_, res, output_);
    crtc_ = out->crtc;
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(d_, res, crtc_);
    originalMode_ = crtc->mode;
    XRRFreeCrtcInfo(crtc);
    XRRFreeOutputInfo(out);

    char name[] = "800x600-velmora-test";
    XRRModeInfo info{};
    info.width = 800;
    info.height = 600;
    info.dotClock = 38250000;
    info.hSyncStart = 832;
    info.hSyncEnd = 912;
    info.hTotal = 1024;
    info.vSyncStart = 603;
    info.vSyncEnd = 607;
    info.vTotal = 624;
    info.name = name;
    info.nameLength = sizeof(name) - 1;
    mode_ = XRRCreateMode(d_, root_, &info);
    XRRAddOutputMode(d_, output_, mode_);
    XRRFreeScreenResources(res);
    res = XRRGetScreenResourcesCurrent(d_, root_);  // with the new mode
    XRRSetCrtcConfig(d_, res, crtc_, CurrentTime, 0, 0, mode_, RR_Rotate_0, &output_, 1);
    XRRFreeScreenResources(res);
    XSync(d_, False);
  }
  ~SmallerMode() {
    // Whoever set the smaller mode last may have shrunk the screen with it;
    // it must be large enough again before the crtc takes the old mode.
    XRRSetScreenSize(d_, root_, width_, height_, widthMm_, heightMm_);
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(d_, root_);
    XRRSetCrtcConfig(d_, res, crtc_, CurrentTime, 0, 0, originalMode_, RR_Rotate_0, &output_, 1);
    XRRFreeScreenResources(res);
    XRRDeleteOutputMode(d_, output_, mode_);
    XRRDestroyMode(d_, mode_);
    XSync(d_, False);
  }
  SmallerMode(const SmallerMode&) = delete;
  SmallerMode& operator=(const SmallerMode&) = delete;

  // The size of the mode the screen is in now.
  std::pair<unsigned, unsigned> current() const {
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(d_, root_);
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(d_, res, crtc_);
    const std::pair<unsigned, unsigned> size{crtc->width, crtc->height};
    XRRFreeCrtcInfo(crtc);
    XRRFreeScreenResources(res);
    return size;
  }

 private:
  Display* d_;
  ::Window root_;
  int width_, height_, widthMm_, heightMm_;  // the screen's own size
  RROutput output_ = 0;
  RRCrtc crtc_ = 0;
  RRMode originalMode_ = 0;
  RRMode mode_ = 0;
};

using Size = std::pair<unsigned, unsigned>;

TEST_F(Win32DisplayTest, FullScreenSetsItsModeAndTheExitGivesTheFormerOneBack) {
  SmallerMode smaller;
  ASSERT_EQ(smaller.current(), Size(800, 600));
  ProbeRun probe("full", 0, 1);
  ASSERT_TRUE(probe.waitReported("ready", kStartSeconds)) << probe.transcript();
  EXPECT_EQ(smaller.current(), Size(1024, 768));
  std::string difference;
  EXPECT_TRUE(showsExactly(0, 0, 1024, 768, referenceScene(1024, 768), difference)) << difference;

  Screen::get().tapKey("space");
  EXPECT_EQ(probe.program().waitExit(kEventSeconds), 0) << probe.transcript();
  EXPECT_TRUE(waitUntil([&] { return smaller.current() == Size(800, 600); }, kEventSeconds));
}

TEST_F(Win32DisplayTest, UncaughtExceptionGivesTheModeBackToo) {
  ASSERT_TRUE(std::filesystem::exists(crashProbe())) << crashProbe();
  SmallerMode smaller;
  Sandbox sandbox(Target::Windows, crashProbe());
  Program program(sandbox, {});
  ASSERT_TRUE(waitUntil([&] { return program.output().find("ready") != std::string::npos; }, kStartSeconds))
      << program.output();
  EXPECT_EQ(smaller.current(), Size(1024, 768));

  Screen::get().tapKey("space");
  const auto code = program.waitExit(kEventSeconds);
  ASSERT_TRUE(code.has_value());
  EXPECT_NE(*code, 0);
  EXPECT_NE(program.output().find("uncaught exception"), std::string::npos) << program.output();
  EXPECT_TRUE(waitUntil([&] { return smaller.current() == Size(800, 600); }, kEventSeconds));
}

}  // namespace
}  // namespace systest
