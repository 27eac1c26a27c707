// The preview on a real display: the child window inside a host's window,
// the slides fading in it, and the end with the host's window.
//
// Linux: the test is the host; it reads the child's pixels from the screen.
// Windows: a host program of its own runs under Wine and checks the child;
// the window's pixels are checked by the unit tests, run here on the display,
// since Wine draws a child only when its parent lives in the same process.
#include <gtest/gtest.h>

#include "tests/system/harness.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <string>
#include <vector>

namespace systest {
namespace {

using Picture = std::vector<std::uint32_t>;  // 0x00RRGGBB, rows from the top

bool isBlack(const Picture& p) {
  return std::all_of(p.begin(), p.end(), [](std::uint32_t v) { return v == 0; });
}

bool everyChannel(const Picture& p, bool (*holds)(std::uint32_t channel)) {
  return std::all_of(p.begin(), p.end(), [&](std::uint32_t v) {
    return holds(v & 0xFF) && holds((v >> 8) & 0xFF) && holds((v >> 16) & 0xFF);
  });
}

// Every channel of `later` at least that of `earlier`: the same slide, faded
// in further.
bool fadedInFurther(const Picture& earlier, const Picture& later) {
  for (std::size_t k = 0; k < earlier.size(); ++k) {
    for (int shift : {0, 8, 16}) {
      if (((later[k] >> shift) & 0xFF) < ((earlier[k] >> shift) & 0xFF)) return false;
    }
  }
  return true;
}

Window makeHostWindow() {
  Display* x = Screen::get().x();
  const Window host = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 200, 150, 0, 0, 0xFFFFFF);
  XMapWindow(x, host);
  XSync(x, False);
  return host;
}

std::vector<Window> childrenOf(Window window) {
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  std::vector<Window> found;
  if (XQueryTree(Screen::get().x(), window, &root, &parent, &children, &count)) found.assign(children, children + count);
  if (children) XFree(children);
  return found;
}

TEST(PreviewSystemTest, LinuxChildShowsTheSlidesFadingInAndEndsWithTheHost) {
  Display* x = Screen::get().x();
  const Window host = makeHostWindow();
  Sandbox sandbox(Target::Linux);
  Program program(sandbox, {"/p", std::to_string(host)});

  Window child = 0;
  ASSERT_TRUE(waitUntil(
      [&] {
        const auto children = childrenOf(host);
        if (children.size() != 1) return false;
        XWindowAttributes a{};
        if (!XGetWindowAttributes(x, children[0], &a) || a.map_state != IsViewable) return false;
        child = children[0];
        return true;
      },
      5.0, 0.005))
      << program.output();
  std::vector<Picture> frames{Screen::get().grab(0, 0, 152, 112)};
  XWindowAttributes a{};
  XGetWindowAttributes(x, child, &a);
  EXPECT_EQ(a.x, 0);
  EXPECT_EQ(a.y, 0);
  EXPECT_EQ(a.width, 152);
  EXPECT_EQ(a.height, 112);
  EXPECT_EQ(a.border_width, 0);
  EXPECT_EQ(childrenOf(host).size(), 1u);
  EXPECT_TRUE(isBlack(frames[0])) << "the picture is black before the first tick";

  // Each slide fades in over 25 ticks of 160 ms, then the next starts black.
  // Watch until a slide has changed and the next one has risen a while.
  std::size_t slideChange = 0;
  waitUntil(
      [&] {
        Picture now = Screen::get().grab(0, 0, 152, 112);
        if (now != frames.back()) frames.push_back(std::move(now));
        const std::size_t last = frames.size() - 1;
        if (slideChange == 0 && last >= 2 && isBlack(frames[last]) && !isBlack(frames[last - 1])) slideChange = last;
        return slideChange != 0 && last >= slideChange + 5;
      },
      8.0, 0.01);
  ASSERT_NE(slideChange, 0u) << "no slide change (a black picture after a shown one) within 8 s";
  int rising = 0;
  for (std::size_t k = 0; k < frames.size(); ++k) {
    EXPECT_TRUE(everyChannel(frames[k], [](std::uint32_t c) { return c <= 189; }))
        << "frame " << k << ": a fade never passes 24/32 of 252";
    if (k > 0 && !isBlack(frames[k]) && k != slideChange) {
      EXPECT_TRUE(fadedInFurther(frames[k - 1], frames[k])) << "frame " << k << " is darker than the one before";
      ++rising;
    }
  }
  EXPECT_GE(rising, 4);
  // The last picture of a slide is its fade level 24: every channel is
  // (c with two low bits cleared) x 3/4, a multiple of 3.
  EXPECT_TRUE(everyChannel(frames[slideChange - 1], [](std::uint32_t c) { return c % 3 == 0; }));

  XDestroyWindow(x, host);
  XSync(x, False);
  const auto code = program.waitExit(1.0);
  ASSERT_TRUE(code.has_value()) << "still runs a second after the host's window went";
  EXPECT_EQ(*code, 0) << program.output();
}

TEST(PreviewSystemTest, LinuxWindowIdsThatAreNoWindowAndNoDisplayEndAtOnceWithZero) {
  Display* x = Screen::get().x();
  const Window stale = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 10, 10, 0, 0, 0);
  XDestroyWindow(x, stale);
  XSync(x, False);
  struct Case {
    std::vector<std::string> arguments;
    std::map<std::string, std::string> environment;
  };
  const std::vector<Case> cases = {
      {{"/p", std::to_string(stale)}, {}},
      {{"/p", "2147483647"}, {}},  // above every X id
      {{"/p", "-5"}, {}},
      {{"/p", "4711"}, {{"DISPLAY", ":9999"}}},  // no display server there
  };
  for (const Case& c : cases) {
    Sandbox sandbox(Target::Linux);
    const auto windowsBefore = Screen::get().topLevelWindows().size();
    Program program(sandbox, c.arguments, c.environment);
    const auto code = program.waitExit(1.0);
    ASSERT_TRUE(code.has_value()) << c.arguments[1] << " still runs after a second";
    EXPECT_EQ(*code, 0) << c.arguments[1] << ": " << program.output();
    EXPECT_EQ(Screen::get().topLevelWindows().size(), windowsBefore);
  }
}

std::string windowsPath(const std::string& path) {
  std::string converted = "Z:" + path;
  std::replace(converted.begin(), converted.end(), '/', '\\');
  return converted;
}

TEST(PreviewSystemTest, WindowsChildInsideAHostOfAnotherProcessEndsWithTheHost) {
  Sandbox sandbox(Target::Windows);
  Program host(sandbox, windowsBuildDir() + "/tests/velmora-preview-host.exe", {windowsPath(sandbox.program())});
  const auto code = host.waitExit(120.0);
  ASSERT_TRUE(code.has_value()) << "the host program still runs after two minutes\n" << host.output();
  EXPECT_EQ(*code, 0) << host.output();
}

TEST(PreviewSystemTest, WindowsPreviewWindowPaintsTheBitmapOnADisplay) {
  // The unit tests' window cases skip without a display server; here they
  // have one.
  Sandbox sandbox(Target::Windows);
  Program tests(sandbox, windowsBuildDir() + "/tests/velmora-unit-tests.exe", {"--gtest_filter=PreviewWindowTest.*"});
  const auto code = tests.waitExit(120.0);
  ASSERT_TRUE(code.has_value()) << tests.output();
  EXPECT_EQ(*code, 0) << tests.output();
  EXPECT_EQ(tests.output().find("SKIPPED"), std::string::npos) << tests.output();
  EXPECT_NE(tests.output().find("PASSED"), std::string::npos) << tests.output();
}

}  // namespace
}  // namespace systest
