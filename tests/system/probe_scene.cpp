#include "tests/system/probe_scene.h"

#include <cstdint>
#include <memory>

#include "platform/canvas.h"
#include "platform/display.h"

namespace probe {
namespace {

using platform::IntRect;
using platform::makePixel;
using platform::Pixel;

// 48 x 32, every channel different across it, a non-zero top byte that the
// display must ignore, and a diagonal pattern of the skip colour.
std::unique_ptr<platform::Image> makeTestImage() {
  auto image = platform::createImage(48, 32);
  if (!image) return nullptr;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 48; ++x) {
      const auto ux = static_cast<std::uint32_t>(x);
      const auto uy = static_cast<std::uint32_t>(y);
      const Pixel p = (x + y) % 11 == 0 ? 0x00FF00FFu : makePixel(ux * 5u, uy * 7u, (ux * uy) & 0xFFu, 0x40u);
      image->pixels()[y * 48 + x] = p;
    }
  }
  return image;
}

}  // namespace

void drawScene() {
  const platform::Canvas* canvas = platform::backend::activeCanvas();
  if (!canvas) return;
  const int w = canvas->width;
  const int h = canvas->height;

  platform::writeConsoleLine("VELMORA PROBE 0123456789 !#%&");

  platform::setPixel(w - 1, 0, 0xFF00FF00u);
  platform::setPixel(0, h - 1, 0xFF0000FFu);
  platform::setPixel(w - 1, h - 1, platform::kWhite);
  platform::setPixel(w - 2, h - 1, 0xFFFF0000u);

  platform::fillBox(IntRect{8, 24, 57, 53}, 0xFF336699u);
  platform::drawBox(IntRect{64, 24, 123, 53}, 0xFFFFCC00u);
  platform::drawBox(IntRect{183, 53, 130, 24}, 0xFF80FF40u);

  const auto image = makeTestImage();
  if (image) {
    platform::fillBox(IntRect{190, 24, 237, 55}, 0xFFC08040u);
    platform::blendImage(*image, 190, 24, 100);
    platform::blendImage(*image, 244, 24, 37);
    platform::copyImage(*image, 300, 24);
  }

  platform::setViewport(IntRect{20, 70, 179, 149}, 0xFF00FF00u);
  platform::fillBox(IntRect{-5, -5, 30, 30}, 0xFFFF0000u);
  if (image) platform::copyImage(*image, 140, 60);
  platform::setPixel(-1, -1, platform::kWhite);  // the border's corner: outside, not drawn
  platform::resetViewport();

  platform::setViewport(IntRect{200, 80, 359, 219}, platform::kWhite);
  if (image) platform::blendImage(*image, -10, -10, 200);
  platform::resetViewport();

  // Every level of every channel once, to catch a swapped channel order.
  for (int x = 0; x < 256; ++x) {
    const auto level = static_cast<std::uint32_t>(x);
    platform::setPixel(64 + x, 228, makePixel(level, 255u - level, level / 2u));
  }
}

}  // namespace probe
