// The preview: its bitmap header, the downsampled and faded picture in the
// bitmap's bottom-up rows, and (on Windows) the real child window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/pixels.h"
#include "present/preview_bitmap.h"
#include "present/preview_mode.h"
#include "settings/frame_cycle.h"
#include "slides/slides.h"
#include "tests/fake/fake_platform.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/preview_window.h"
#endif

namespace velmora {
namespace {

constexpr std::size_t kRowsStart = 54;
constexpr std::size_t kRowBytes = 456;
constexpr std::size_t kBitmapBytes = 51126;

class PreviewTest : public ::testing::Test {
 protected:
  void SetUp() override { freshProcess(); }
  void TearDown() override { freshProcess(); }

  static void freshProcess() {
    fake::reset();
    resetSlideSource();
    resetFrameCycle();
    resetPreviewBitmap();
  }
};

// A DecodedImage as the preview's decoder leaves it: a plain block (header
// word 0), `width` pixels a row, `words` words of memory in all.
void useImage(int width, int height, std::size_t words, platform::Pixel (*pixelAt)(int x, int y)) {
  auto image = std::make_unique<platform::Image>();
  image->words.assign(words, 0u);
  image->width = width;
  image->height = height;
  for (std::size_t k = 1; k < words; ++k) {
    const auto index = static_cast<int>(k - 1);
    image->words[k] = pixelAt(index % width, index / width);
  }
  decodedImage = std::move(image);
  decodedWidth = width;
  decodedHeight = height;
}

void useImage(int width, int height, platform::Pixel (*pixelAt)(int x, int y)) {
  useImage(width, height, static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + 1, pixelAt);
}

// The next step shows `slide` of `slides` at `level`, with that slide taken
// as already decoded (so the step uses the DecodedImage as it stands).
void cueStep(int slides, int slide, int level) {
  slideTable.lastSlide = slides - 1;
  previewFrame = slide * kFramesPerSlide + level;
  currentSlide = slide;
}

std::vector<std::uint8_t> bitmapBytes() { return {previewBitmap(), previewBitmap() + kBitmapBytes}; }

bool rowsAreBlack() {
  for (std::size_t k = kRowsStart; k < kBitmapBytes; ++k) {
    if (previewBitmap()[k] != 0) return false;
  }
  return true;
}

// The fade as a reader of the rule computes it: low two bits cleared, times
// level / 32, to nearest with halves to even (the FPU's default rounding).
std::uint8_t faded(std::uint32_t channel, int level) {
  return static_cast<std::uint8_t>(std::nearbyint((channel & 0xFCu) * static_cast<double>(level) / 32.0));
}

platform::Pixel scrambled(int x, int y) {
  auto v = static_cast<std::uint32_t>(x) * 0x9E3779B1u ^ static_cast<std::uint32_t>(y) * 0x85EBCA77u;
  v ^= v >> 15;
  return v * 0x2C1B3C6Du;
}

TEST_F(PreviewTest, StartCopiesTheHeaderAndHandsTheBlackBitmapToTheWindow) {
  struct Field {
    std::size_t offset;
    std::size_t size;
    std::uint32_t value;
  };
  const std::vector<Field> fields = {
      {0, 2, 0x4D42},  // "BM"
      {2, 4, 51126},   {6, 2, 0},   {8, 2, 0},  {10, 4, 54}, {14, 4, 40}, {18, 4, 152}, {22, 4, 112},
      {26, 2, 1},      {28, 2, 24}, {30, 4, 0}, {34, 4, 51072}, {38, 4, 0}, {42, 4, 0}, {46, 4, 0}, {50, 4, 0},
  };
  bool driven = false;
  fake::setPreviewDriver([&](std::int32_t host, const std::uint8_t* bitmap, void (*step)()) {
    driven = true;
    EXPECT_EQ(host, 4711);
    EXPECT_EQ(bitmap, previewBitmap());
    EXPECT_EQ(step, &stepPreview);
    EXPECT_TRUE(inPreviewMode);
    for (const Field& f : fields) {
      std::uint32_t value = 0;
      for (std::size_t k = 0; k < f.size; ++k) value |= static_cast<std::uint32_t>(bitmap[f.offset + k]) << (8 * k);
      EXPECT_EQ(value, f.value) << "header offset " << f.offset;
    }
    EXPECT_TRUE(rowsAreBlack()) << "the picture is black until the first tick";
    return 3;
  });
  EXPECT_EQ(previewMode(4711), 3) << "the window loop's result is the mode's";
  EXPECT_TRUE(driven);
}

TEST_F(PreviewTest, EverySixthPixelOfEverySixthRowIsShownUpright) {
  useImage(1024, 768, scrambled);
  cueStep(16, 5, 24);
  stepPreview();
  EXPECT_EQ(previewFrame, 5 * 25 + 25);
  const std::uint8_t* bitmap = previewBitmap();
  int wrong = 0;
  for (int i = 0; i < 112; ++i) {
    for (int j = 0; j < 152; ++j) {
      const platform::Pixel p = scrambled(6 * j, 6 * i);
      const std::uint8_t* at = bitmap + kRowsStart + static_cast<std::size_t>(111 - i) * kRowBytes + 3 * static_cast<std::size_t>(j);
      if (at[0] != faded(platform::blueOf(p), 24) || at[1] != faded(platform::greenOf(p), 24) ||
          at[2] != faded(platform::redOf(p), 24)) {
        ++wrong;
      }
    }
  }
  EXPECT_EQ(wrong, 0) << "pixels of 17024 that differ from the source sample";
}

TEST_F(PreviewTest, PictureRowZeroIsTheLastRowInMemory) {
  // Source rows 0..5 grey 252, rows from 666 on pure red 252, blue between.
  useImage(1024, 768, [](int, int y) -> platform::Pixel {
    if (y < 6) return platform::makePixel(252, 252, 252);
    if (y >= 666) return platform::makePixel(252, 0, 0);
    return platform::makePixel(0, 0, 252);
  });
  cueStep(16, 0, 24);
  stepPreview();
  const std::vector<std::uint8_t> bytes = bitmapBytes();
  for (std::size_t k = 0; k < kRowBytes; ++k) {
    EXPECT_EQ(bytes[kBitmapBytes - kRowBytes + k], 189) << "picture row 0, byte " << k;
    const std::uint8_t redOnly = k % 3 == 2 ? 189 : 0;  // bytes blue, green, red
    EXPECT_EQ(bytes[kRowsStart + k], redOnly) << "picture row 111, byte " << k;
  }
  EXPECT_EQ(bytes[kRowsStart + kRowBytes], 189) << "picture row 110 is blue";
}

TEST_F(PreviewTest, ChannelsAreFadedByTheFrameLevel) {
  struct FadeCase {
    platform::Pixel source;
    int level;
    std::uint8_t blue, green, red;
  };
  const std::vector<FadeCase> cases = {
      {platform::makePixel(252, 252, 252), 24, 189, 189, 189},
      {platform::makePixel(252, 252, 252), 0, 0, 0, 0},
      {platform::makePixel(255, 255, 255), 24, 189, 189, 189},  // the two low bits never count
      {platform::makePixel(252, 128, 4), 24, 3, 96, 189},       // each channel in its own byte
      {platform::makePixel(4, 12, 20), 4, 2, 2, 0},              // 0.5 -> 0, 1.5 -> 2, 2.5 -> 2
      {platform::makePixel(28, 200, 3), 4, 0, 25, 4},            // 3.5 -> 4, 25, 0
      {platform::makePixel(128, 64, 32), 16, 16, 32, 64},
      {platform::makePixel(0, 0, 0), 24, 0, 0, 0},
  };
  for (const FadeCase& c : cases) {
    static platform::Pixel uniform;
    uniform = c.source;
    useImage(1024, 768, [](int, int) { return uniform; });
    cueStep(3, 2, c.level);
    stepPreview();
    const std::uint8_t* bitmap = previewBitmap();
    for (const std::size_t at : {kRowsStart, kRowsStart + 75 * kRowBytes + 3 * 80, kBitmapBytes - 3}) {
      EXPECT_EQ(bitmap[at], c.blue) << std::hex << c.source << " level " << std::dec << c.level;
      EXPECT_EQ(bitmap[at + 1], c.green) << std::hex << c.source << " level " << std::dec << c.level;
      EXPECT_EQ(bitmap[at + 2], c.red) << std::hex << c.source << " level " << std::dec << c.level;
    }
  }
}

TEST_F(PreviewTest, ASourceTooSmallForTheSamplingLeavesThePictureBlack) {
  // The sampling reaches column 906 and row 666; it never reads past the
  // DecodedImage, whatever its size says.
  struct SizeCase {
    const char* what;
    int width;
    int height;
    std::size_t words;  // 0: exactly width x height pixels
    bool shown;
  };
  const std::vector<SizeCase> cases = {
      {"no image at all", 0, 0, 0, false},
      {"one column short", 906, 667, 0, false},
      {"one row short", 907, 666, 0, false},
      {"the smallest that serves", 907, 667, 0, true},
      {"a size claiming more than its memory", 1024, 768, 666u * 1024u + 906u, false},
      {"a size exactly matched by its memory", 1024, 768, 666u * 1024u + 907u + 1u, true},
  };
  for (const SizeCase& c : cases) {
    // First a full picture, so that black shows a deliberate clearing.
    useImage(1024, 768, [](int, int) { return platform::makePixel(252, 252, 252); });
    cueStep(2, 1, 24);
    stepPreview();
    ASSERT_FALSE(rowsAreBlack());
    if (c.width == 0) {
      decodedImage.reset();
      decodedWidth = 0;
      decodedHeight = 0;
    } else {
      const std::size_t words =
          c.words ? c.words : static_cast<std::size_t>(c.width) * static_cast<std::size_t>(c.height) + 1;
      useImage(c.width, c.height, words, [](int, int) { return platform::makePixel(252, 252, 252); });
    }
    cueStep(2, 1, 24);
    stepPreview();
    EXPECT_EQ(rowsAreBlack(), !c.shown) << c.what;
    if (c.shown) {
      EXPECT_EQ(previewBitmap()[kRowsStart + 3 * 151], 189) << c.what << ": source pixel (906, 666)";
    }
  }
}

// The built-in archive and codec: a fresh process with its own "TMP".
class PreviewArchiveTest : public PreviewTest {
 protected:
  void SetUp() override {
    PreviewTest::SetUp();
    tmp_ = std::filesystem::temp_directory_path() / ("velmora-preview-" + std::to_string(std::rand()));
    std::filesystem::create_directories(tmp_);
    fake::setEnvironment("TMP", tmp_.string());
  }
  void TearDown() override {
    PreviewTest::TearDown();
    std::error_code ignored;
    std::filesystem::remove_all(tmp_, ignored);
  }
  std::filesystem::path tmp_;
};

// Shown pixels of the bitmap that differ from the DecodedImage's samples
// at `level`.
int picturePixelsOffFromTheSlide(int level) {
  int wrong = 0;
  for (int i = 0; i < 112; ++i) {
    for (int j = 0; j < 152; ++j) {
      const platform::Pixel p =
          decodedImage->pixels()[static_cast<std::size_t>(6 * i) * static_cast<std::size_t>(decodedWidth) +
                                 static_cast<std::size_t>(6 * j)];
      const std::uint8_t* at = previewBitmap() + kRowsStart + static_cast<std::size_t>(111 - i) * kRowBytes +
                               3 * static_cast<std::size_t>(j);
      wrong += at[0] != faded(platform::blueOf(p), level) || at[1] != faded(platform::greenOf(p), level) ||
               at[2] != faded(platform::redOf(p), level);
    }
  }
  return wrong;
}

TEST_F(PreviewArchiveTest, AStartAtTheCycleEndShowsTheLastSlideAtLevel24ThenTheFirstBlack) {
  fake::setRandomValues({0.9999999});  // the initial frame 25N - 1
  bool driven = false;
  fake::setPreviewDriver([&](std::int32_t, const std::uint8_t*, void (*step)()) {
    driven = true;
    const int n = slideTable.count();
    if (n < 2) {
      ADD_FAILURE() << "the built-in archive holds " << n << " slides";
      return 1;
    }
    EXPECT_EQ(previewFrame, 25 * n - 1);
    EXPECT_EQ(currentSlide, -1);

    step();
    EXPECT_EQ(previewFrame, 25 * n);
    EXPECT_EQ(currentSlide, n - 1);
    EXPECT_EQ(decodedWidth, 1024);
    EXPECT_EQ(decodedHeight, 768);
    EXPECT_FALSE(rowsAreBlack());
    EXPECT_EQ(picturePixelsOffFromTheSlide(24), 0) << "the last slide at level 24";

    step();
    EXPECT_EQ(previewFrame, 1);
    EXPECT_EQ(currentSlide, 0);
    EXPECT_TRUE(rowsAreBlack()) << "the first slide at level 0";
    EXPECT_EQ(picturePixelsOffFromTheSlide(0), 0);

    step();
    EXPECT_EQ(currentSlide, 0);
    EXPECT_EQ(picturePixelsOffFromTheSlide(1), 0) << "the first slide at level 1";
    return 0;
  });
  EXPECT_EQ(previewMode(4711), 0);
  EXPECT_TRUE(driven);
}

#ifdef _WIN32
// The real child window, made inside a window of the test's own.
// tests/system runs these again under Wine on its display server.

LRESULT CALLBACK hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

class PreviewWindowTest : public PreviewTest {
 protected:
  void SetUp() override {
    PreviewTest::SetUp();
    steps = 0;
    instance = GetModuleHandleA(nullptr);
    WNDCLASSA hostClass{};
    hostClass.lpfnWndProc = hostWindowProc;
    hostClass.hInstance = instance;
    hostClass.lpszClassName = "VelmoraPreviewTestHost";
    RegisterClassA(&hostClass);
    host = CreateWindowExA(0, "VelmoraPreviewTestHost", "host", WS_OVERLAPPED, 0, 0, 300, 200, nullptr, nullptr,
                           instance, nullptr);
    // Wine makes windows only with a display server; the system tests run
    // these cases again on theirs.
    if (!host) GTEST_SKIP() << "no window can be made here (no display server)";
  }
  void TearDown() override {
    if (IsWindow(host)) DestroyWindow(host);
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassA(platform::win32::kPreviewClassName, instance);
    UnregisterClassA("VelmoraPreviewTestHost", instance);
    PreviewTest::TearDown();
  }

  static void countStep() { ++steps; }

  HINSTANCE instance = nullptr;
  HWND host = nullptr;
  static inline int steps = 0;
};

TEST_F(PreviewWindowTest, OnlyTimerOneStepsAndAsksForARepaint) {
  ASSERT_NE(platform::win32::registerPreviewClass(instance), 0);
  HWND child = platform::win32::createPreviewWindow(instance, host);
  ASSERT_NE(child, nullptr);
  platform::win32::setPreviewSource(previewBitmap(), countStep);
  ShowWindow(host, SW_SHOWNOACTIVATE);
  ShowWindow(child, SW_SHOWNORMAL);  // only a shown window gathers an update region
  ValidateRect(child, nullptr);

  for (const WPARAM other : {WPARAM{0}, WPARAM{2}, WPARAM{9999}}) {
    EXPECT_EQ(SendMessageA(child, WM_TIMER, other, 0), 0);
    EXPECT_EQ(steps, 0) << "timer " << other;
    EXPECT_FALSE(GetUpdateRect(child, nullptr, FALSE)) << "timer " << other;
  }
  EXPECT_EQ(SendMessageA(child, WM_TIMER, 1, 0), 0);
  EXPECT_EQ(steps, 1);
  RECT update{};
  EXPECT_TRUE(GetUpdateRect(child, &update, FALSE));
  EXPECT_EQ(update.left, 0);
  EXPECT_EQ(update.top, 0);
  EXPECT_EQ(update.right, 152);
  EXPECT_EQ(update.bottom, 112);
}

TEST_F(PreviewWindowTest, StrippingTheCaptionKeepsTheChildAt152By112) {
  ASSERT_NE(platform::win32::registerPreviewClass(instance), 0);
  HWND child = platform::win32::createPreviewWindow(instance, host);
  ASSERT_NE(child, nullptr);
  SetWindowLongA(child, GWL_STYLE, static_cast<LONG>(WS_CHILD | WS_CAPTION));
  platform::win32::stripCaption(child);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE)), static_cast<DWORD>(WS_CHILD));
  RECT rect{};
  GetWindowRect(child, &rect);
  EXPECT_EQ(rect.right - rect.left, 152);
  EXPECT_EQ(rect.bottom - rect.top, 112);
}

// What the window shows, as 0x00RRGGBB words, row by row from the top.
std::vector<std::uint32_t> shownPicture(HWND window) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = 152;
  info.bmiHeader.biHeight = -112;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(memory, dib);
  HDC dc = GetDC(window);
  BitBlt(memory, 0, 0, 152, 112, dc, 0, 0, SRCCOPY);
  ReleaseDC(window, dc);
  GdiFlush();
  std::vector<std::uint32_t> picture(static_cast<const std::uint32_t*>(bits),
                                     static_cast<const std::uint32_t*>(bits) + 152 * 112);
  for (std::uint32_t& p : picture) p &= 0xFFFFFFu;
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(dib);
  return picture;
}

// The bitmap's picture in the same form.
std::vector<std::uint32_t> bitmapPicture() {
  std::vector<std::uint32_t> picture;
  for (std::size_t i = 0; i < 112; ++i) {
    const std::uint8_t* row = previewBitmap() + kRowsStart + (111 - i) * kRowBytes;
    for (std::size_t j = 0; j < 152; ++j) {
      picture.push_back(std::uint32_t{row[3 * j + 2]} << 16 | std::uint32_t{row[3 * j + 1]} << 8 | row[3 * j]);
    }
  }
  return picture;
}

HWND gHost = nullptr;
struct SeenChild {
  std::string className;
  int id = 0;
  RECT rect{};
  LONG style = 0;
  int ticks = 0;
  std::vector<int> wrongPixels;  // per tick: shown pixels that differ from the bitmap
  std::vector<bool> black;       // per tick: whether the window was black
} gSeen;

// Each tick first looks at what the last one painted, then steps the real
// preview; the fourth destroys the host instead.
void lookStepAndThenCloseTheHost() {
  HWND child = FindWindowExA(gHost, nullptr, nullptr, nullptr);
  if (++gSeen.ticks == 1) {
    char name[64] = {};
    GetClassNameA(child, name, sizeof name);
    gSeen.className = name;
    gSeen.id = GetDlgCtrlID(child);
    GetWindowRect(child, &gSeen.rect);
    MapWindowPoints(HWND_DESKTOP, gHost, reinterpret_cast<POINT*>(&gSeen.rect), 2);
    gSeen.style = GetWindowLongA(child, GWL_STYLE);
  }
  const std::vector<std::uint32_t> shown = shownPicture(child);
  const std::vector<std::uint32_t> expected = bitmapPicture();
  int wrong = 0;
  bool black = true;
  for (std::size_t k = 0; k < shown.size(); ++k) {
    wrong += shown[k] != expected[k];
    black = black && shown[k] == 0;
  }
  gSeen.wrongPixels.push_back(wrong);
  gSeen.black.push_back(black);
  if (gSeen.ticks < 4) {
    stepPreview();
  } else {
    DestroyWindow(gHost);  // takes the child with it
  }
}

TEST_F(PreviewWindowTest, TheWindowShowsTheBitmapInsideTheHostUntilTheHostIsDestroyed) {
  std::copy(kPreviewBitmapHeader.begin(), kPreviewBitmapHeader.end(), previewBitmap());
  useImage(1024, 768, scrambled);
  cueStep(16, 3, 20);  // the ticks show levels 21, 22 and 23 of slide 3
  ShowWindow(host, SW_SHOWNOACTIVATE);
  gHost = host;
  gSeen = {};
  EXPECT_EQ(platform::win32::runPreview(host, previewBitmap(), lookStepAndThenCloseTheHost), 0);
  EXPECT_FALSE(IsWindow(host));
  ASSERT_EQ(gSeen.ticks, 4);
  EXPECT_EQ(gSeen.className, "Quorvane ScreenSaver");
  EXPECT_EQ(gSeen.id, 9999);
  EXPECT_EQ(gSeen.rect.left, 0);
  EXPECT_EQ(gSeen.rect.top, 0);
  EXPECT_EQ(gSeen.rect.right, 152);
  EXPECT_EQ(gSeen.rect.bottom, 112);
  EXPECT_EQ(static_cast<DWORD>(gSeen.style) & ~static_cast<DWORD>(WS_CLIPSIBLINGS),
            static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
  EXPECT_TRUE(gSeen.black[0]) << "the window is black before the first tick";
  for (std::size_t tick = 1; tick < 4; ++tick) EXPECT_FALSE(gSeen.black[tick]) << "after tick " << tick;
  EXPECT_EQ(gSeen.wrongPixels, (std::vector<int>{0, 0, 0, 0})) << "pixels that differ from the bitmap";
}

TEST_F(PreviewWindowTest, AHandleThatIsNoWindowEndsAtOnceWithZero) {
  DestroyWindow(host);  // a stale handle
  for (HWND notAWindow : {host, reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF1234))}) {
    EXPECT_EQ(platform::win32::runPreview(notAWindow, previewBitmap(), countStep), 0);
  }
  EXPECT_EQ(steps, 0);
  WNDCLASSA registered{};
  EXPECT_FALSE(GetClassInfoA(instance, platform::win32::kPreviewClassName, &registered))
      << "no class is registered for a window that cannot be made";
}
#endif

}  // namespace
}  // namespace velmora
