// The backend's side of the surface: the pixel memory a display backend
// owns and the portable drawing code (canvas.cpp) works on.
//
// Each backend (SDL2, GDI, the tests' fake) implements activeCanvas() and
// presents `pixels` on its display; the drawing operations of display.h
// draw into it and mark it dirty.
#pragma once

#include <cstdint>

#include "platform/pixels.h"

namespace platform {

struct Canvas {
  Pixel* pixels = nullptr;  // top row first, `pitch` pixels from row to row
  int width = 0;
  int height = 0;
  int pitch = 0;
  IntRect viewport;      // the clip rectangle, in surface pixels
  bool dirty = false;    // drawn on since it was last shown (a blend that moved no pixel is not)

  Pixel& at(int x, int y) { return pixels[static_cast<std::ptrdiff_t>(y) * pitch + x]; }
  void resetViewport() { viewport = IntRect{0, 0, width - 1, height - 1}; }
};

namespace backend {
// The open surface's canvas; nullptr while no surface is open.
Canvas* activeCanvas();
}  // namespace backend

}  // namespace platform
