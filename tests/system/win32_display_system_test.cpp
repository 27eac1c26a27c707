// What only the Windows display host does, under Wine on Xvfb (the display
// suite checks the pixels, the window's place, the mouse, the close command
// and the mode on both targets): which keys make entries, Alt+F4 among them;
// the mouse reading while another window is in front; and the display mode
// given back when the process dies of an uncaught exception.
//
// GoogleTest first: Xlib's macros (None, Bool, Status) would break it.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/system/harness.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace systest {
namespace {

constexpr double kStartSeconds = 30.0;  // Wine's start, on a busy machine
constexpr double kEventSeconds = 10.0;

std::string crashProbe() { return windowsBuildDir() + "/tests/velmora-win32-probe.exe"; }

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
      : sandbox_(Target::Windows, displayProbe(Target::Windows)),
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
    ASSERT_TRUE(std::filesystem::exists(displayProbe(Target::Windows)))
        << "build the Windows target first: " << displayProbe(Target::Windows);
    // Wine may still hold a button of an earlier test as down.
    for (unsigned b : {1u, 2u, 3u}) Screen::get().releaseButton(b);
    Screen::get().movePointer(1000, 760);
  }
};

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
