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
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "codec/ijl.h"

namespace systest {
namespace {

using Picture = std::vector<std::uint32_t>;  // 0x00RRGGBB, rows from the top

bool isBlack(const Picture& p) {
  return std::all_of(p.begin(), p.end(), [](std::uint32_t v) { return v == 0; });
}

// The slides as the program samples them (every sixth pixel of every sixth
// row, 152 x 112 words 0x00RRGGBB), decoded by the codec library the program
// itself wrote to its temporary directory: the same decoder, the same pixels.
std::vector<std::vector<std::uint32_t>> sampledSlides(const std::string& codecPath) {
  std::vector<std::vector<std::uint32_t>> slides;
  void* library = dlopen(codecPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) return slides;
  const auto init = reinterpret_cast<IjlInitFn>(dlsym(library, "ijlInit"));
  const auto read = reinterpret_cast<IjlReadFn>(dlsym(library, "ijlRead"));
  const auto release = reinterpret_cast<IjlFreeFn>(dlsym(library, "ijlFree"));
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(sourceDir() + "/resources/slides")) {
    if (entry.path().extension() == ".jpg") files.push_back(entry.path());
  }
  for (const auto& file : files) {
    const std::string jpeg = readFile(file.string());
    JPEG_CORE_PROPERTIES record{};
    if (!init || !read || !release || init(&record) != IJL_OK) break;
    record.JPGBytes = reinterpret_cast<const unsigned char*>(jpeg.data());
    record.JPGSizeBytes = static_cast<int>(jpeg.size());
    read(&record, IJL_JBUFF_READPARAMS);
    const int width = record.JPGWidth;
    const int height = record.JPGHeight;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    record.DIBBytes = reinterpret_cast<unsigned char*>(pixels.data());
    record.DIBWidth = width;
    record.DIBHeight = height;
    record.DIBChannels = 4;
    record.DIBColor = IJL_RGBA_FPX;
    record.DIBPadBytes = 0;
    const bool decoded = width >= 907 && height >= 667 && read(&record, IJL_JBUFF_READWHOLEIMAGE) == IJL_OK;
    release(&record);
    if (!decoded) continue;
    std::vector<std::uint32_t> sampled;
    for (std::size_t i = 0; i < 112; ++i) {
      for (std::size_t j = 0; j < 152; ++j) {
        // The codec's bytes red, green, blue, 255 as the program keeps them:
        // 0x00RRGGBB.
        const std::uint32_t rgba = pixels[6 * i * static_cast<std::size_t>(width) + 6 * j];
        sampled.push_back((rgba & 0xFFu) << 16 | (rgba & 0xFF00u) | ((rgba >> 16) & 0xFFu));
      }
    }
    slides.push_back(std::move(sampled));
  }
  dlclose(library);
  return slides;
}

// Whether `picture` is `slide` at fade `level`: each channel with its two low bits cleared, x level / 32,
// to nearest with halves to even.
bool showsSlideAtLevel(const Picture& picture, const std::vector<std::uint32_t>& slide, int level) {
  for (std::size_t k = 0; k < picture.size(); ++k) {
    std::uint32_t expected = 0;
    for (int shift : {0, 8, 16}) {
      const double faded = std::nearbyint(((slide[k] >> shift) & 0xFCu) * static_cast<double>(level) / 32.0);
      expected |= static_cast<std::uint32_t>(faded) << shift;
    }
    if (picture[k] != expected) return false;
  }
  return true;
}

struct Shown {
  std::size_t slide;
  int level;
};

// Which of `slides` `picture` shows, and at which fade level 1..24.
std::optional<Shown> slideShown(const Picture& picture, const std::vector<std::vector<std::uint32_t>>& slides) {
  for (std::size_t slide = 0; slide < slides.size(); ++slide) {
    for (int level = 1; level <= 24; ++level) {
      if (showsSlideAtLevel(picture, slides[slide], level)) return Shown{slide, level};
    }
  }
  return std::nullopt;
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
  // Every picture is a slide at a fade level, rising from tick to tick; the
  // last one before the change is at level 24, and the next slide differs.
  const auto slides = sampledSlides(sandbox.tempDir() + "/ijl10.dll");
  ASSERT_FALSE(slides.empty()) << "no slide decoded with the program's codec";
  std::vector<std::optional<Shown>> shown(frames.size());
  int rising = 0;
  for (std::size_t k = 1; k < frames.size(); ++k) {
    if (isBlack(frames[k])) continue;
    shown[k] = slideShown(frames[k], slides);
    ASSERT_TRUE(shown[k].has_value()) << "frame " << k << " is no slide at any fade level";
    if (shown[k - 1] && shown[k - 1]->slide == shown[k]->slide) {
      EXPECT_GT(shown[k]->level, shown[k - 1]->level) << "frame " << k;
      ++rising;
    }
  }
  EXPECT_GE(rising, 3);
  ASSERT_TRUE(shown[slideChange - 1].has_value());
  EXPECT_EQ(shown[slideChange - 1]->level, 24) << "the last picture of a slide";
  ASSERT_TRUE(shown[slideChange + 1].has_value());
  EXPECT_NE(shown[slideChange + 1]->slide, shown[slideChange - 1]->slide) << "the next slide follows the black";

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
