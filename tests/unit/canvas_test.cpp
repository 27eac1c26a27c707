// The drawing operations at the edges of the integer range: coordinates
// far outside the surface draw nothing, inside a viewport too, and never
// overflow on the way (the sanitizer build holds them to that).
#include <gtest/gtest.h>

#include <limits>

#include "platform/display.h"
#include "tests/fake/fake_platform.h"

namespace {

constexpr int kMax = std::numeric_limits<int>::max();
constexpr int kMin = std::numeric_limits<int>::min();

bool surfaceIsBlack() {
  const platform::Canvas* c = fake::canvas();
  for (int y = 0; y < c->height; ++y)
    for (int x = 0; x < c->width; ++x)
      if (fake::pixel(x, y) != 0) return false;
  return true;
}

TEST(Canvas, CoordinatesAtTheIntegerLimitsDrawNothing) {
  fake::reset();
  ASSERT_TRUE(platform::openFramelessWindow(32, 24));
  platform::setViewport({4, 4, 20, 16}, 0);
  auto image = platform::createImage(8, 8);
  ASSERT_TRUE(image);
  std::fill(image->pixels(), image->pixels() + image->pixelCount(), platform::kWhite);
  // Every point here lies far outside the surface on at least one axis.
  for (const int x : {kMin, kMin + 1, -100000, 3, 100000, kMax - 1, kMax}) {
    for (const int y : {kMin, kMax, 2000}) {
      platform::setPixel(x, y, platform::kWhite);
      platform::fillBox({x, y, x, y}, platform::kWhite);
      platform::drawBox({x, y, x, y}, platform::kWhite);
      platform::copyImage(*image, x, y);
      platform::blendImage(*image, x, y, 255);
    }
  }
  EXPECT_TRUE(surfaceIsBlack());
  // Inside, the same operations do draw: the viewport offsets them.
  platform::setPixel(0, 0, platform::kWhite);
  EXPECT_EQ(fake::pixel(4, 4), platform::kWhite);
}

}  // namespace
