// The constant-alpha blend: the rule itself, every vector path against it,
// and the image blend's clipping on a surface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/blend.h"
#include "platform/display.h"
#include "tests/fake/fake_platform.h"

namespace {

using platform::Pixel;

// The rule, written apart from blendRowScalar: skip the magenta key, keep
// the surface's top byte, and per colour channel
// old + floor((img - old) * (a + 1) / 256), with a = 0 drawing nothing and
// alphas above 255 drawing as 255.
Pixel ruleBlend(Pixel d, Pixel s, int alpha) {
  if (alpha <= 0 || (s & 0xFFFFFFu) == 0xFF00FFu) return d;
  const int weight = std::min(alpha, 255) + 1;
  Pixel out = d & 0xFF000000u;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int oldC = static_cast<int>((d >> shift) & 0xFFu);
    const int imgC = static_cast<int>((s >> shift) & 0xFFu);
    const int product = (imgC - oldC) * weight;
    int quotient = product / 256;  // toward zero ...
    if (product % 256 != 0 && product < 0) --quotient;  // ... made toward minus infinity
    out |= static_cast<Pixel>(oldC + quotient) << shift;
  }
  return out;
}

std::string describe(const platform::BlendPath& path, int alpha) {
  return std::string(path.name) + " alpha " + std::to_string(alpha);
}

TEST(BlendRule, RoundsEveryChannelTowardMinusInfinity) {
  const struct {
    int oldC, imgC, alpha, expected;
  } cases[] = {
      {0, 255, 248, 248},   // 255 * 249 / 256 = 248.04
      {255, 0, 8, 246},     // -255 * 9 / 256 = -8.96 -> -9
      {10, 11, 254, 10},    // 255 / 256 -> 0
      {11, 10, 254, 10},    // -255 / 256 -> -1
      {0, 255, 1, 1},       // 510 / 256 = 1.99
      {100, 200, 255, 200}, // A = 256 lands on the image
      {200, 100, 255, 100},
      {37, 37, 128, 37},
      {0, 255, 0, 0},       // alpha 0 draws nothing
      {0, 255, 300, 255},   // drawn as 255
  };
  for (const auto& c : cases) {
    const auto level = [](int v) { return static_cast<std::uint32_t>(v); };
    const Pixel old = platform::makePixel(level(c.oldC), level(c.oldC), level(c.oldC), 0x5Au);
    const Pixel img = platform::makePixel(level(c.imgC), level(c.imgC), level(c.imgC), 0xC3u);
    const Pixel want = platform::makePixel(level(c.expected), level(c.expected), level(c.expected), 0x5Au);
    for (const auto& path : platform::availableBlendPaths()) {
      // Long enough that every path takes its vector loop as well as its tail.
      std::vector<Pixel> dst(19, old);
      const std::vector<Pixel> src(19, img);
      const bool changed = path.row(dst.data(), src.data(), dst.size(), c.alpha);
      for (const Pixel p : dst) {
        ASSERT_EQ(p, want) << describe(path, c.alpha) << " old " << c.oldC << " img " << c.imgC;
      }
      EXPECT_EQ(changed, want != old) << describe(path, c.alpha) << " old " << c.oldC << " img " << c.imgC;
    }
  }
}

TEST(BlendRule, EveryPathGivesTheRuleForEveryPairOfChannelValues) {
  // Pixel k holds one (old, img) pair in each channel, a different pair in
  // each, so that all 65,536 pairs pass through every channel.
  std::vector<Pixel> olds(65536);
  std::vector<Pixel> imgs(65536);
  for (std::uint32_t k = 0; k < 65536; ++k) {
    const std::uint32_t lo = k & 0xFFu;
    const std::uint32_t hi = k >> 8;
    olds[k] = platform::makePixel((lo * 7u) & 0xFFu, hi, lo, k & 0xFFu);
    imgs[k] = platform::makePixel(255u - lo, lo, hi, hi);
  }
  for (const int alpha : {0, 1, 2, 7, 8, 100, 127, 128, 200, 247, 248, 254, 255, 256, 1000}) {
    std::vector<Pixel> want(olds.size());
    for (std::size_t k = 0; k < olds.size(); ++k) want[k] = ruleBlend(olds[k], imgs[k], alpha);
    for (const auto& path : platform::availableBlendPaths()) {
      std::vector<Pixel> dst = olds;
      const bool changed = path.row(dst.data(), imgs.data(), dst.size(), alpha);
      for (std::size_t k = 0; k < dst.size(); ++k) {
        ASSERT_EQ(dst[k], want[k]) << describe(path, alpha) << " pixel " << k;
      }
      EXPECT_EQ(changed, want != olds) << describe(path, alpha);
    }
  }
}

TEST(BlendRule, VectorPathsMatchTheScalarPathOnRandomRowsOfEveryLength) {
  std::mt19937 random(20240611u);
  constexpr std::size_t kGuard = 8;
  constexpr Pixel kGuardWord = 0xDEADBEEFu;
  for (const std::size_t length : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 15u, 17u, 31u, 33u, 63u, 1023u}) {
    for (int alpha = 0; alpha <= 255; ++alpha) {
      std::vector<Pixel> src(length);
      std::vector<Pixel> old(length);
      for (std::size_t i = 0; i < length; ++i) {
        src[i] = static_cast<Pixel>(random());
        old[i] = static_cast<Pixel>(random());
        // Some image pixels carry the skip colour under any top byte.
        if (random() % 8 == 0) src[i] = (src[i] & 0xFF000000u) | 0xFF00FFu;
      }
      std::vector<Pixel> want = old;
      platform::blendRowScalar(want.data(), src.data(), length, alpha);
      for (const auto& path : platform::availableBlendPaths()) {
        // The row starts one word into its buffer, off any vector alignment,
        // between guard words that must survive.
        std::vector<Pixel> buffer(length + 2 * kGuard + 1, kGuardWord);
        Pixel* row = buffer.data() + kGuard + 1;
        std::copy(old.begin(), old.end(), row);
        const bool changed = path.row(row, src.data(), length, alpha);
        ASSERT_TRUE(std::equal(want.begin(), want.end(), row)) << describe(path, alpha) << " length " << length;
        ASSERT_EQ(changed, want != old) << describe(path, alpha) << " length " << length;
        ASSERT_TRUE(std::all_of(buffer.begin(), buffer.begin() + kGuard + 1, [](Pixel p) { return p == kGuardWord; }));
        ASSERT_TRUE(std::all_of(buffer.end() - static_cast<std::ptrdiff_t>(kGuard), buffer.end(),
                                [](Pixel p) { return p == kGuardWord; }))
            << describe(path, alpha) << " length " << length;
      }
    }
  }
}

TEST(BlendRule, AnyOneWordThatMovesCountsAsAChange) {
  // A row the blend leaves as it is (each channel one below the image's,
  // which a step short of A = 256 does not move), but for one word: each
  // place of it, in the vector loop and in the tail, must be told.
  constexpr std::size_t kLength = 19;
  const Pixel img = platform::makePixel(101u, 151u, 201u, 0xFFu);
  const Pixel settled = platform::makePixel(100u, 150u, 200u, 0xFFu);
  for (const auto& path : platform::availableBlendPaths()) {
    std::vector<Pixel> dst(kLength, settled);
    const std::vector<Pixel> src(kLength, img);
    EXPECT_FALSE(path.row(dst.data(), src.data(), kLength, 248)) << path.name;
    for (std::size_t moving = 0; moving < kLength; ++moving) {
      std::vector<Pixel> row(kLength, settled);
      row[moving] = platform::makePixel(100u, 150u, 190u, 0xFFu);  // blue 10 below
      EXPECT_TRUE(path.row(row.data(), src.data(), kLength, 248)) << path.name << " word " << moving;
    }
  }
}

TEST(BlendRule, OnlyTheExactSkipColourIsSkipped) {
  const struct {
    Pixel img;
    bool skipped;
  } cases[] = {
      {0x00FF00FFu, true},  {0xFFFF00FFu, true},  {0x12FF00FFu, true},
      {0x00FF00FEu, false}, {0x00FE00FFu, false}, {0x00FF01FFu, false},
  };
  constexpr Pixel kOld = 0x5A123456u;
  for (const auto& c : cases) {
    for (const auto& path : platform::availableBlendPaths()) {
      std::vector<Pixel> dst(9, kOld);
      const std::vector<Pixel> src(9, c.img);
      path.row(dst.data(), src.data(), dst.size(), 255);
      const Pixel want = c.skipped ? kOld : (0x5A000000u | (c.img & 0xFFFFFFu));
      EXPECT_EQ(dst[8], want) << path.name << " image " << std::hex << c.img;
      EXPECT_EQ(dst[0], want) << path.name << " image " << std::hex << c.img;
    }
  }
}

TEST(BlendRule, TheBestPathIsTheLastOfTheAvailableOnes) {
  const auto paths = platform::availableBlendPaths();
  ASSERT_FALSE(paths.empty());
  EXPECT_EQ(paths.front().name, "scalar");
  EXPECT_EQ(platform::bestBlendRow(), paths.back().row);
#if defined(__i386__) || defined(__x86_64__)
  // Every x86 processor this program runs on has SSE2: its path must be
  // found, on the 32-bit build too.
  EXPECT_TRUE(std::any_of(paths.begin(), paths.end(), [](const auto& p) { return p.name == "sse2"; }));
#endif
}

// --- the image blend on a surface ------------------------------------------

TEST(BlendImage, DrawsTheImageClippedByTheSurfaceAndTheMemoryItHas) {
  constexpr int kSurfaceW = 8;
  constexpr int kSurfaceH = 6;
  const struct {
    const char* name;
    int imageW, imageH;
    int headerW, headerH;  // what the header word claims
    int x, y, alpha;
  } cases[] = {
      {"larger than the surface", 11, 9, 11, 9, 0, 0, 255},
      {"at an offset, out at the right and bottom", 5, 4, 5, 4, 5, 3, 128},
      {"at a negative offset", 6, 5, 6, 5, -4, -3, 200},
      {"wholly outside", 3, 3, 3, 3, 8, 0, 255},
      {"header claiming more than the memory", 5, 4, 100, 100, 1, 1, 255},
      {"alpha 0", 8, 6, 8, 6, 0, 0, 0},
  };
  for (const auto& c : cases) {
    fake::reset();
    ASSERT_TRUE(platform::openFullScreen(kSurfaceW, kSurfaceH));
    platform::Canvas& canvas = *fake::canvas();
    for (int y = 0; y < kSurfaceH; ++y) {
      for (int x = 0; x < kSurfaceW; ++x) {
        canvas.at(x, y) = platform::makePixel(static_cast<std::uint32_t>(x * 30), static_cast<std::uint32_t>(y * 40), 77u);
      }
    }
    auto image = platform::createImage(c.imageW, c.imageH);
    ASSERT_TRUE(image) << c.name;
    for (std::size_t i = 0; i < image->pixelCount(); ++i) {
      image->pixels()[i] = platform::makePixel(static_cast<std::uint32_t>(255 - i), static_cast<std::uint32_t>(i * 3),
                                               static_cast<std::uint32_t>(i * 11) & 0xFFu);
    }
    image->words[0] = platform::makeImageHeader(c.headerW, c.headerH);
    const std::vector<Pixel> before(canvas.pixels, canvas.pixels + kSurfaceW * kSurfaceH);

    platform::blendImage(*image, c.x, c.y, c.alpha);

    for (int y = 0; y < kSurfaceH; ++y) {
      for (int x = 0; x < kSurfaceW; ++x) {
        const int ix = x - c.x;
        const int iy = y - c.y;
        const Pixel old = before[static_cast<std::size_t>(y * kSurfaceW + x)];
        const bool covered = ix >= 0 && iy >= 0 && ix < c.imageW && iy < c.imageH;
        const Pixel want =
            covered ? ruleBlend(old, image->pixels()[iy * c.imageW + ix], c.alpha) : old;
        ASSERT_EQ(canvas.at(x, y), want) << c.name << " at " << x << "," << y;
      }
    }
  }
}

TEST(BlendImage, OnlyABlendThatMovesAPixelLeavesSomethingToShow) {
  fake::reset();
  ASSERT_TRUE(platform::openFullScreen(8, 6));
  platform::Canvas& canvas = *fake::canvas();
  auto image = platform::createImage(8, 6);
  ASSERT_TRUE(image);
  for (std::size_t i = 0; i < image->pixelCount(); ++i) image->pixels()[i] = platform::makePixel(60u, 90u, 120u);
  // A fade over the black surface moves it until only the last level is
  // left, which no step short of A = 256 moves.
  bool settled = false;
  for (int a = 8; a < 256 && !settled; a += 8) {
    canvas.dirty = false;
    platform::blendImage(*image, 0, 0, a);
    settled = !canvas.dirty;
  }
  ASSERT_TRUE(settled) << "the fade never came to rest";
  const std::vector<Pixel> rested(canvas.pixels, canvas.pixels + 8 * 6);
  platform::blendImage(*image, 0, 0, 248);
  EXPECT_FALSE(canvas.dirty);
  EXPECT_TRUE(std::equal(rested.begin(), rested.end(), canvas.pixels));
  // One pixel that still differs, in the last row: the canvas has changed.
  canvas.at(7, 5) = 0;
  canvas.dirty = false;
  platform::blendImage(*image, 0, 0, 248);
  EXPECT_TRUE(canvas.dirty);
}

TEST(BlendImage, AnImageWithFewerWordsThanItsSizeIsNotDrawn) {
  fake::reset();
  ASSERT_TRUE(platform::openFullScreen(8, 6));
  platform::Image image;
  image.width = 5;
  image.height = 4;
  image.words.assign(1 + 5 * 3, 0xFFFFFFFFu);  // one row short
  image.words[0] = platform::makeImageHeader(5, 4);
  platform::blendImage(image, 0, 0, 255);
  platform::copyImage(image, 0, 0);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 8; ++x) ASSERT_EQ(fake::pixel(x, y), 0u) << x << "," << y;
  }
}

}  // namespace
