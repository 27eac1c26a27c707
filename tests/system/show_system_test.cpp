// The full-screen show on a real display: it fades a slide in soon after
// start, exactly as the codec decoded it and the brightness conditioned it,
// continues with the next slide in order, dims every slide at the lowest
// brightness, darkens the screen with the clock between phases of slides,
// and ends with exit code 0 at the user's first key, button or move of more
// than 8 pixels.
//
// The pictures the screen is held against come from the codec library the
// program used, run by a helper of the same target (decode_slides.cpp):
// under Wine the Windows codec decodes through Wine's imaging component,
// which rounds differently from libjpeg-turbo.

// GoogleTest first: Xlib's macros (None, Bool, Status) would break it.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/system/harness.h"

namespace systest {
namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr std::size_t kPixels = std::size_t{kWidth} * kHeight;
constexpr int kSlides = 16;
constexpr int kFullBrightness = 255;  // dotmode 0
constexpr int kLowestBrightness = 57;  // dotmode 99

constexpr double kFirstSlideSeconds = 2.0;  // the first slide is faded in within this
constexpr double kWindowSeconds = 30.0;     // the surface appears within this (Wine's start, a busy machine)
constexpr double kEndSeconds = 1.2;         // user activity ends the show within this
constexpr double kCycleSeconds = 4.0;       // a slide follows the one before within this (about 1.7 s)
constexpr double kStillSeconds = 2.0;       // a show that was not disturbed still runs after this

const char* const kSettingsHeader = "[Velmora Slides Screensaver version 2016.june.09 ini file]\r\n";

std::string settingsFile(int videomax, int darkmax, int dotmode) {
  return std::string(kSettingsHeader) + "videomax= " + std::to_string(videomax) + "\r\ndarkmax= " +
         std::to_string(darkmax) + "\r\ndotmode= " + std::to_string(dotmode) + "\r\n";
}

std::string slideName(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "slide%02d", index + 1);
  return name;
}

// 0x00RRGGBB words, row by row, as Screen::grab gives them.
using Picture = std::vector<std::uint32_t>;

std::uint32_t channel(std::uint32_t rgb, int shift) { return (rgb >> shift) & 0xFFu; }

// The show's conditioning of one channel byte at a brightness level: the
// top six bits scaled by level / 256, rounded to nearest, ties to even.
std::uint32_t conditioned(std::uint32_t c, int level) {
  const std::uint32_t x = (c & 0xFCu) * static_cast<std::uint32_t>(level);
  return (x + 127u + ((x >> 8) & 1u)) >> 8;
}

Picture conditionedPicture(const Picture& decoded, int level) {
  Picture out(decoded.size());
  for (std::size_t i = 0; i < decoded.size(); ++i) {
    const std::uint32_t p = decoded[i];
    out[i] = conditioned(channel(p, 16), level) << 16 | conditioned(channel(p, 8), level) << 8 |
             conditioned(channel(p, 0), level);
  }
  return out;
}

Picture readPpm(const std::string& path) {
  const std::string bytes = readFile(path);
  std::istringstream header(bytes);
  std::string magic;
  int width = 0, height = 0, maximum = 0;
  header >> magic >> width >> height >> maximum;
  const auto start = static_cast<std::size_t>(header.tellg()) + 1;  // one blank after the maximum
  if (magic != "P6" || width != kWidth || height != kHeight || maximum != 255 || bytes.size() != start + 3 * kPixels) {
    ADD_FAILURE() << path << " is not a " << kWidth << " x " << kHeight << " picture";
    return {};
  }
  Picture picture(kPixels);
  for (std::size_t i = 0; i < kPixels; ++i) {
    const auto byte = [&](std::size_t k) {
      return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[start + 3 * i + k]));
    };
    picture[i] = byte(0) << 16 | byte(1) << 8 | byte(2);
  }
  return picture;
}

// The codec's pictures of the sixteen slides, decoded by the target's own
// codec library through the helper program, once per test program.
std::vector<Picture> decodeWithTheCodec(Target target) {
  const std::string helper = target == Target::Linux ? VELMORA_LINUX_DECODE_SLIDES
                                                     : windowsBuildDir() + "/tests/velmora-decode-slides.exe";
  const std::string codec = target == Target::Linux ? VELMORA_LINUX_CODEC : windowsBuildDir() + "/codec/ijl10.dll";
  Sandbox sandbox(target, helper);
  fs::copy_file(codec, sandbox.dir() + "/ijl10.dll");
  // Names relative to the sandbox, where the helper runs: the same on both
  // targets, and the pictures land beside the slides.
  std::vector<std::string> arguments{target == Target::Linux ? "./ijl10.dll" : ".\\ijl10.dll"};
  for (int i = 0; i < kSlides; ++i) {
    const std::string name = slideName(i) + ".jpg";
    fs::copy_file(sourceDir() + "/resources/slides/" + name, sandbox.dir() + "/" + name);
    arguments.push_back(name);
  }
  Program program(sandbox, arguments);
  const auto code = program.waitExit(60.0);
  if (code != 0) {
    ADD_FAILURE() << "the slides could not be decoded: " << program.output();
    return {};
  }
  std::vector<Picture> pictures;
  for (int i = 0; i < kSlides; ++i) pictures.push_back(readPpm(sandbox.dir() + "/" + slideName(i) + ".ppm"));
  return pictures;
}

// What the sixteen slides look like on the screen at a brightness level.
const std::vector<Picture>& slidesAt(Target target, int level) {
  static std::map<Target, std::vector<Picture>> decoded;
  static std::map<std::pair<Target, int>, std::vector<Picture>> shown;
  const auto key = std::make_pair(target, level);
  if (const auto it = shown.find(key); it != shown.end()) return it->second;
  if (!decoded.count(target)) decoded[target] = decodeWithTheCodec(target);
  std::vector<Picture> pictures;
  for (const auto& picture : decoded[target]) pictures.push_back(conditionedPicture(picture, level));
  return shown[key] = std::move(pictures);
}

// Whether the screen shows `slide` after a full fade: every channel is the
// slide's or one level below it (the fade rounds towards the old picture).
bool within(std::uint32_t screen, std::uint32_t slide) {
  for (const int shift : {0, 8, 16}) {
    const std::uint32_t s = channel(screen, shift);
    const std::uint32_t r = channel(slide, shift);
    if (s > r || s + 1 < r) return false;
  }
  return true;
}

std::size_t mismatches(const Picture& screen, const Picture& slide, std::size_t step = 1) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < screen.size(); i += step) count += within(screen[i], slide[i]) ? 0u : 1u;
  return count;
}

// A fade over a picture that was at least as bright lands exactly on the
// slide: the rounding towards the old picture then rounds towards the
// slide. Counts the channels where the screen was brighter before, and
// among them those that missed the slide's value.
struct ExactCount {
  std::size_t checked = 0;
  std::size_t missed = 0;
};

ExactCount exactWhereBrighterBefore(const Picture& before, const Picture& after, const Picture& slide) {
  ExactCount count;
  for (std::size_t i = 0; i < slide.size(); ++i) {
    for (const int shift : {0, 8, 16}) {
      if (channel(before[i], shift) < channel(slide[i], shift)) continue;
      ++count.checked;
      if (channel(after[i], shift) != channel(slide[i], shift)) ++count.missed;
    }
  }
  return count;
}

// The slide the screen shows in full, if any. A sparse sample rules out the
// others quickly; the one left is held against every pixel.
std::optional<int> shownSlide(const Picture& screen, const std::vector<Picture>& slides) {
  if (screen.size() != kPixels) return std::nullopt;
  for (std::size_t i = 0; i < slides.size(); ++i) {
    if (slides[i].size() != kPixels || mismatches(screen, slides[i], 97) != 0) continue;
    if (mismatches(screen, slides[i]) == 0) return static_cast<int>(i);
  }
  return std::nullopt;
}

// For a failure message: which slide the screen is closest to, and how far.
std::string closestSlide(const Picture& screen, const std::vector<Picture>& slides) {
  std::size_t best = kPixels + 1;
  std::size_t bestIndex = 0;
  for (std::size_t i = 0; i < slides.size(); ++i) {
    if (slides[i].size() != kPixels) continue;
    const std::size_t m = mismatches(screen, slides[i]);
    if (m < best) best = m;
    if (m == best) bestIndex = i;
  }
  std::ostringstream text;
  text << "the screen is closest to " << slideName(static_cast<int>(bestIndex)) << ", with " << best << " of "
       << kPixels << " pixels outside it";
  return text.str();
}

Picture grabScreen() { return Screen::get().grab(0, 0, kWidth, kHeight); }

double secondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// The dark screen of the clock: black but for white pixels, some of them,
// all inside the rectangle the bobbing clock text can cover.
struct ClockRect {
  int left = 480, right = 543, top = 378, bottom = 422;
};

// The topmost row with a white pixel, or nothing when the screen is not
// the dark clock screen.
std::optional<int> clockTopRow(const Picture& screen) {
  const ClockRect rect;
  std::optional<int> top;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const std::uint32_t p = screen[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)];
      if (p == 0) continue;
      const bool inRect = x >= rect.left && x <= rect.right && y >= rect.top && y <= rect.bottom;
      if (p != 0xFFFFFFu || !inRect) return std::nullopt;
      if (!top) top = y;
    }
  }
  return top;
}

// One run of the show in a sandbox of its own, with the pointer put where
// the show puts it itself, so that the show captures it there.
class Show {
 public:
  // The slides are decoded for the comparison first, so that nothing of
  // the test's own stands between the start and the first slide.
  explicit Show(Target target, const std::string& settings = {}, int level = kFullBrightness)
      : slides_(slidesAt(target, level)), sandbox_(target) {
    if (!settings.empty()) writeFile(sandbox_.settingsFile(), settings);
    Screen::get().movePointer(kWidth / 2, kHeight / 2);
    program_.emplace(sandbox_, std::vector<std::string>{});
    start_ = SteadyClock::now();
  }

  Program& program() { return *program_; }
  const Sandbox& sandbox() const { return sandbox_; }

  // Where the time to the first slide is measured from: the program's start
  // on Linux; under Wine the moment its full-screen window appears, as
  // Wine's own start-up, which the program has no part in, comes first.
  SteadyClock::time_point awaitSurface() {
    if (sandbox_.target() == Target::Linux) return start_;
    const bool appeared = waitUntil(
        [] {
          for (const auto& w : Screen::get().topLevelWindows()) {
            if (w.width == kWidth && w.height == kHeight) return true;
          }
          return false;
        },
        kWindowSeconds, 0.01);
    EXPECT_TRUE(appeared) << "no full-screen window after " << kWindowSeconds << " s: " << program_->output();
    return SteadyClock::now();
  }

  // Polls the screen until it shows a slide of `slides` in full other than
  // `other`; the slide's index, or nothing after `seconds`.
  std::optional<int> awaitSlide(double seconds, std::optional<int> other = {}) {
    std::optional<int> found;
    waitUntil(
        [&] {
          lastScreen_ = grabScreen();
          found = shownSlide(lastScreen_, slides_);
          if (found && found == other) found.reset();
          return found.has_value();
        },
        seconds);
    return found;
  }

  // Waits for the first slide; the test fails when none is shown in time.
  std::optional<int> awaitShowStarted() {
    const auto from = awaitSurface();
    const auto slide = awaitSlide(kFirstSlideSeconds + kCycleSeconds);
    firstSlideSeconds_ = secondsSince(from);
    EXPECT_TRUE(slide) << "no slide in full on the screen: " << closestSlide(lastScreen_, slides_) << "\n"
                       << program_->output();
    return slide;
  }

  // The sixteen slides as the show shows them at its brightness.
  const std::vector<Picture>& slides() const { return slides_; }

  const Picture& lastScreen() const { return lastScreen_; }
  double firstSlideSeconds() const { return firstSlideSeconds_; }

 private:
  const std::vector<Picture>& slides_;
  Sandbox sandbox_;
  std::optional<Program> program_;
  SteadyClock::time_point start_;
  Picture lastScreen_;
  double firstSlideSeconds_ = 0.0;
};

class ShowSystemTest : public ::testing::TestWithParam<Target> {};

TEST_P(ShowSystemTest, FadesInASlideAsTheCodecDecodedItAndThenTheNextOne) {
  Show show(GetParam());
  const auto first = show.awaitShowStarted();
  ASSERT_TRUE(first);
  EXPECT_LE(show.firstSlideSeconds(), kFirstSlideSeconds)
      << slideName(*first) << " was shown in full only after " << show.firstSlideSeconds() << " s";
  std::printf("[  TIMING  ] %s: first slide in full %.3f s after %s\n", targetName(GetParam()).c_str(),
              show.firstSlideSeconds(), GetParam() == Target::Linux ? "the start" : "the window appeared");
  // A fresh sandbox has no settings file: the show wrote the default one.
  EXPECT_EQ(readFile(show.sandbox().settingsFile()), settingsFile(0, 0, 0));

  const Picture firstScreen = show.lastScreen();
  const auto next = show.awaitSlide(kCycleSeconds, first);
  ASSERT_TRUE(next) << "no second slide: " << closestSlide(show.lastScreen(), show.slides());
  EXPECT_EQ(*next, (*first + 1) % kSlides) << "after " << slideName(*first);
  // Where the first slide was brighter, the conditioned decode is on the
  // screen to the level: any other rounding of the conditioning shows.
  const ExactCount exact =
      exactWhereBrighterBefore(firstScreen, show.lastScreen(), show.slides()[static_cast<std::size_t>(*next)]);
  EXPECT_EQ(exact.missed, 0u) << "of " << exact.checked << " channels";
  EXPECT_GT(exact.checked, kPixels / 4) << "too few channels to tell";
  EXPECT_TRUE(show.program().running()) << show.program().output();
}

TEST_P(ShowSystemTest, AtTheLowestBrightnessEverySlideIsDimmed) {
  Show show(GetParam(), settingsFile(0, 0, 99), kLowestBrightness);
  ASSERT_TRUE(show.awaitShowStarted());
  // 252 * 57 / 256 = 56.1: no channel of a dimmed slide is brighter.
  std::uint32_t brightest = 0;
  for (const std::uint32_t p : show.lastScreen()) {
    brightest = std::max({brightest, channel(p, 0), channel(p, 8), channel(p, 16)});
  }
  EXPECT_LE(brightest, 56u);
}

TEST_P(ShowSystemTest, TheDarkClockComesBetweenPhasesAndTheNextSlideFadesInOverIt) {
  // 5 seconds of slides, then 5 seconds of the dark clock.
  Show show(GetParam(), settingsFile(0, 13, 0));
  const auto& slides = show.slides();
  auto last = show.awaitShowStarted();
  ASSERT_TRUE(last);

  // Slides until the screen goes dark; the last one shown is noted.
  std::optional<int> darkTop;
  const bool dark = waitUntil(
      [&] {
        const Picture screen = grabScreen();
        if (const auto slide = shownSlide(screen, slides)) last = slide;
        darkTop = clockTopRow(screen);
        return darkTop.has_value();
      },
      15.0);
  ASSERT_TRUE(dark) << "no dark screen with the clock";
  const auto darkFrom = SteadyClock::now();
  // The first drawing is at the top (its cells from row 378, the digits'
  // dots from row 380; a few passes may go by before the screen is read),
  // and the clock then sinks by a row every tenth of a second.
  EXPECT_LE(*darkTop, 384);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const auto laterTop = clockTopRow(grabScreen());
  ASSERT_TRUE(laterTop) << "the dark screen lasted less than a second";
  EXPECT_GE(*laterTop, *darkTop + 5) << "the clock does not sink";

  // The next slide in order fades in over the dark screen after 5 s.
  const auto next = show.awaitSlide(10.0);
  ASSERT_TRUE(next) << closestSlide(show.lastScreen(), slides);
  EXPECT_GE(secondsSince(darkFrom), 4.5) << "the dark interval was cut short";
  EXPECT_EQ(*next, (*last + 1) % kSlides) << "after " << slideName(*last);
}

// Each way the user returns, taken while a slide is on show.
struct Return {
  const char* what;
  std::function<void()> act;
  std::function<void()> undo;  // what must not outlast the test
  bool linuxOnly = false;
};

TEST_P(ShowSystemTest, TheUsersReturnEndsTheShowWithExitCodeZero) {
  Screen& screen = Screen::get();
  const int cx = kWidth / 2;
  const int cy = kHeight / 2;
  Show* current = nullptr;
  const Return returns[] = {
      {"a key", [&] { screen.tapKey("a"); }, {}},
      {"a key with an extended code", [&] { screen.tapKey("F3"); }, {}},
      {"the left button", [&] { screen.pressButton(1); }, [&] { screen.releaseButton(1); }},
      {"the right button", [&] { screen.pressButton(3); }, [&] { screen.releaseButton(3); }},
      {"9 pixels right", [&] { screen.movePointer(cx + 9, cy); }, {}},
      {"9 pixels up", [&] { screen.movePointer(cx, cy - 9); }, {}},
      {"SIGTERM", [&] { current->program().signal(SIGTERM); }, {}, true},
  };
  for (const auto& r : returns) {
    if (r.linuxOnly && GetParam() != Target::Linux) continue;
    Show show(GetParam());
    current = &show;
    ASSERT_TRUE(show.awaitShowStarted()) << r.what;
    const auto acted = SteadyClock::now();
    r.act();
    const auto code = show.program().waitExit(kEndSeconds);
    const double took = secondsSince(acted);
    // Wine would otherwise keep a button held for the next program.
    if (r.undo) r.undo();
    ASSERT_TRUE(code.has_value()) << r.what << ": the show still runs after " << kEndSeconds << " s";
    EXPECT_EQ(*code, 0) << r.what << "\n" << show.program().output();
    std::printf("[  TIMING  ] %s: %s ended the show after %.3f s\n", targetName(GetParam()).c_str(), r.what, took);
  }
}

TEST_P(ShowSystemTest, MovesOfEightPixelsFromThePlaceOfStartAreNotActivity) {
  Show show(GetParam());
  ASSERT_TRUE(show.awaitShowStarted());
  Screen& screen = Screen::get();
  // Measured from where the show found the pointer, not from the last
  // reading: neither corner of the 17 x 17 square counts.
  screen.movePointer(kWidth / 2 + 8, kHeight / 2 + 8);
  std::this_thread::sleep_for(std::chrono::duration<double>(kStillSeconds / 2));
  screen.movePointer(kWidth / 2 - 8, kHeight / 2 - 8);
  std::this_thread::sleep_for(std::chrono::duration<double>(kStillSeconds / 2));
  EXPECT_TRUE(show.program().running()) << show.program().output();
  // One pixel more along one axis is.
  screen.movePointer(kWidth / 2 - 9, kHeight / 2 - 8);
  EXPECT_EQ(show.program().waitExit(kEndSeconds), 0) << show.program().output();
}

INSTANTIATE_TEST_SUITE_P(Targets, ShowSystemTest, ::testing::Values(Target::Linux, Target::Windows),
                         [](const auto& p) { return targetName(p.param); });

}  // namespace
}  // namespace systest
