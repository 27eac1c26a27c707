// The drawing operations of display.h, once for every backend.
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "platform/blend.h"
#include "platform/canvas.h"
#include "platform/display.h"
#include "platform/resources.h"

namespace platform {
namespace {

Canvas* canvas() { return backend::activeCanvas(); }

// a + b held to the int range: coordinates far outside the surface stay far
// outside it instead of overflowing.
int addClamped(long long a, long long b) {
  const long long sum = a + b;
  return static_cast<int>(std::clamp<long long>(sum, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// The part of `r` that lies inside `clip`; empty (width <= 0) when none.
IntRect intersect(IntRect r, IntRect clip) {
  return IntRect{std::max(r.left, clip.left), std::max(r.top, clip.top), std::min(r.right, clip.right),
                 std::min(r.bottom, clip.bottom)};
}

IntRect normalised(IntRect r) {
  return IntRect{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
                 std::max(r.top, r.bottom)};
}

// `r`, given relative to the viewport, in surface pixels.
IntRect toSurface(const Canvas& c, IntRect r) {
  return IntRect{addClamped(r.left, c.viewport.left), addClamped(r.top, c.viewport.top),
                 addClamped(r.right, c.viewport.left), addClamped(r.bottom, c.viewport.top)};
}

void fillSurfaceRect(Canvas& c, IntRect r, Pixel colour) {
  const IntRect visible = intersect(r, IntRect{0, 0, c.width - 1, c.height - 1});
  if (visible.width() <= 0 || visible.height() <= 0) return;
  for (int y = visible.top; y <= visible.bottom; ++y) {
    Pixel* row = &c.at(visible.left, y);
    std::fill(row, row + visible.width(), colour);
  }
  c.dirty = true;
}

void fillClipped(Canvas& c, IntRect surfaceRect, Pixel colour) {
  fillSurfaceRect(c, intersect(surfaceRect, c.viewport), colour);
}

// The area an image drawn at viewport point (x, y) covers, clipped by the
// viewport, and where in the image that area starts.
struct ImageSpan {
  IntRect target;  // surface pixels
  int srcX = 0;
  int srcY = 0;
};

bool placeImage(const Canvas& c, const Image& image, int x, int y, ImageSpan& out) {
  // An image whose words fall short of its own size is not drawn at all.
  if (image.words.empty() || image.width <= 0 || image.height <= 0 || image.words.size() - 1 < image.pixelCount()) {
    return false;
  }
  // The header word gives the size; it may never claim more than the
  // memory holds.
  const int w = std::min(headerWidth(image.header()), image.width);
  const int h = std::min(headerHeight(image.header()), image.height);
  if (w <= 0 || h <= 0) return false;
  const int left = addClamped(c.viewport.left, x);
  const int top = addClamped(c.viewport.top, y);
  const IntRect target = intersect(IntRect{left, top, addClamped(left, w - 1), addClamped(top, h - 1)}, c.viewport);
  if (target.width() <= 0 || target.height() <= 0) return false;
  out = ImageSpan{target, target.left - left, target.top - top};
  return true;
}

}  // namespace

void clearSurface() {
  Canvas* c = canvas();
  if (!c) return;
  fillSurfaceRect(*c, IntRect{0, 0, c->width - 1, c->height - 1}, 0);
}

void setPixel(int x, int y, Pixel colour) {
  Canvas* c = canvas();
  if (!c) return;
  const int sx = addClamped(c->viewport.left, x);
  const int sy = addClamped(c->viewport.top, y);
  if (!c->viewport.contains(sx, sy)) return;
  c->at(sx, sy) = colour;
  c->dirty = true;
}

void drawBox(IntRect box, Pixel colour) {
  Canvas* c = canvas();
  if (!c) return;
  const IntRect r = toSurface(*c, normalised(box));
  fillClipped(*c, IntRect{r.left, r.top, r.right, r.top}, colour);
  fillClipped(*c, IntRect{r.left, r.bottom, r.right, r.bottom}, colour);
  fillClipped(*c, IntRect{r.left, r.top, r.left, r.bottom}, colour);
  fillClipped(*c, IntRect{r.right, r.top, r.right, r.bottom}, colour);
}

void fillBox(IntRect box, Pixel colour) {
  Canvas* c = canvas();
  if (!c) return;
  fillClipped(*c, toSurface(*c, normalised(box)), colour);
}

void setViewport(IntRect viewport, Pixel borderColour) {
  Canvas* c = canvas();
  if (!c) return;
  const IntRect v = intersect(normalised(viewport), IntRect{0, 0, c->width - 1, c->height - 1});
  // The border lies just outside the viewport; it is clipped only by the
  // surface.
  const IntRect b{v.left - 1, v.top - 1, v.right + 1, v.bottom + 1};
  fillSurfaceRect(*c, IntRect{b.left, b.top, b.right, b.top}, borderColour);
  fillSurfaceRect(*c, IntRect{b.left, b.bottom, b.right, b.bottom}, borderColour);
  fillSurfaceRect(*c, IntRect{b.left, b.top, b.left, b.bottom}, borderColour);
  fillSurfaceRect(*c, IntRect{b.right, b.top, b.right, b.bottom}, borderColour);
  c->viewport = v;
}

void resetViewport() {
  if (Canvas* c = canvas()) c->resetViewport();
}

std::unique_ptr<Image> createImage(int width, int height) {
  if (!canvas()) return nullptr;
  if (width <= 0 || height <= 0 || width > kMaxImageWidth || height > kMaxImageHeight) return nullptr;
  auto image = std::unique_ptr<Image>(new (std::nothrow) Image);
  if (!image) return nullptr;
  try {
    image->words.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + 1, 0u);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  image->words[0] = makeImageHeader(width, height);
  image->width = width;
  image->height = height;
  return image;
}

void blendImage(const Image& image, int x, int y, int alpha) {
  Canvas* c = canvas();
  if (!c || alpha <= 0) return;
  ImageSpan span;
  if (!placeImage(*c, image, x, y, span)) return;
  const int a = std::min(alpha, 255);
  const BlendRowFn blendRow = bestBlendRow();
  const auto count = static_cast<std::size_t>(span.target.width());
  bool changed = false;
  for (int row = 0; row < span.target.height(); ++row) {
    const std::size_t srcIndex = static_cast<std::size_t>(span.srcY + row) * static_cast<std::size_t>(image.width) +
                                 static_cast<std::size_t>(span.srcX);
    if (blendRow(&c->at(span.target.left, span.target.top + row), image.pixels() + srcIndex, count, a)) changed = true;
  }
  // A blend that moved no pixel (the late steps of a fade) leaves nothing
  // new to show: the display is spared showing the same picture again.
  if (changed) c->dirty = true;
}

void copyImage(const Image& image, int x, int y) {
  Canvas* c = canvas();
  if (!c) return;
  ImageSpan span;
  if (!placeImage(*c, image, x, y, span)) return;
  const auto count = static_cast<std::size_t>(span.target.width());
  for (int row = 0; row < span.target.height(); ++row) {
    const std::size_t srcIndex = static_cast<std::size_t>(span.srcY + row) * static_cast<std::size_t>(image.width) +
                                 static_cast<std::size_t>(span.srcX);
    std::memcpy(&c->at(span.target.left, span.target.top + row), image.pixels() + srcIndex,
                count * sizeof(Pixel));
  }
  c->dirty = true;
}

void writeConsoleLine(std::string_view text) {
  Canvas* c = canvas();
  if (!c) return;
  // The console's own face: the built-in 8 x 13 glyphs as stored, light grey
  // on black, one 16-pixel line per call from the top-left text cell down.
  constexpr Pixel kConsoleForeground = 0xFFAAAAAAu;
  constexpr Pixel kConsoleBackground = 0xFF000000u;
  constexpr int kCellWidth = 8;
  constexpr int kLinePitch = 16;
  static int consoleLine = 0;
  const auto font = findResource("VGAFIX", "CODE");
  const int top = consoleLine * kLinePitch;
  consoleLine = (consoleLine + 1) % std::max(1, c->height / kLinePitch);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto code = static_cast<unsigned char>(text[i]);
    const int left = static_cast<int>(i) * kCellWidth;
    for (int row = 0; row < kLinePitch; ++row) {
      const std::size_t glyphByte = (static_cast<std::size_t>(code) - 32u) * 13u + static_cast<std::size_t>(row);
      const unsigned bits = (code >= 32 && row < 13 && glyphByte < font.size()) ? font[glyphByte] : 0u;
      for (int col = 0; col < kCellWidth; ++col) {
        const int sx = left + col;
        const int sy = top + row;
        if (sx >= c->width || sy >= c->height) continue;
        c->at(sx, sy) = (bits & (0x80u >> col)) ? kConsoleForeground : kConsoleBackground;
      }
    }
  }
  c->dirty = true;
}

}  // namespace platform
