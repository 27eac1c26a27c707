#include "present/text.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/display.h"
#include "platform/resources.h"

namespace velmora {
namespace {

constexpr std::size_t kFontBytes = static_cast<std::size_t>(kGlyphCount) * kGlyphRows;  // 2,912
constexpr int kFirstCode = 32;
constexpr int kFirstBoldRow = 6;
constexpr int kCellWidth = 8;
constexpr int kLinePitch = 16;
// The first cell's top edge lies this far below the text's y.
constexpr int kTopMargin = 2;

struct GlyphFont {
  std::array<std::uint8_t, kFontBytes> bytes{};
  bool loaded = false;   // a load has been tried
  bool present = false;  // ... and found a whole font
};

GlyphFont& font() {
  static GlyphFont f;
  return f;
}

void ensureLoaded() {
  if (!font().loaded) loadGlyphFont(platform::findResource("VGAFIX", "CODE"));
}

// The pen runs in 64 bits so that no text, however long or wherever placed,
// can overflow it. A pixel this far out lies on no surface; leaving it out
// keeps every coordinate handed on well inside the range of an int.
constexpr std::int64_t kFarthest = std::int64_t{1} << 30;

bool onAnySurface(std::int64_t x, std::int64_t y) {
  return x > -kFarthest && x < kFarthest && y > -kFarthest && y < kFarthest;
}

void paintGlyph(const std::uint8_t* glyph, std::int64_t px, std::int64_t py) {
  for (int r = 0; r < kGlyphRows; ++r) {
    const unsigned bits = glyph[r];
    for (int k = 0; k < textScale; ++k) {
      const std::int64_t y = py + std::int64_t{textScale} * r + k;
      for (int i = 0; i < kCellWidth; ++i) {
        const std::int64_t x = px + i;
        if (!onAnySurface(x, y)) continue;
        const bool set = ((bits >> (7 - i)) & 1u) != 0;
        platform::setPixel(static_cast<int>(x), static_cast<int>(y), set ? textForeground : textBackground);
      }
    }
  }
}

}  // namespace

void loadGlyphFont(std::span<const std::uint8_t> stored) {
  GlyphFont& f = font();
  f.loaded = true;
  f.present = stored.size() >= kFontBytes;
  if (!f.present) return;
  for (std::size_t i = 0; i < kFontBytes; ++i) {
    std::uint8_t row = stored[i];
    if (static_cast<int>(i % kGlyphRows) >= kFirstBoldRow) {
      // Every set pixel also sets its left neighbour; bit 7 has none.
      row = static_cast<std::uint8_t>(row | ((row << 1) & 0xFF));
    }
    f.bytes[i] = row;
  }
}

const std::uint8_t* glyphFont() {
  ensureLoaded();
  return font().present ? font().bytes.data() : nullptr;
}

void resetGlyphFont() { font() = GlyphFont{}; }

void drawText(int x, int y, const char* text) {
  const std::uint8_t* glyphs = glyphFont();
  if (!glyphs || !text) return;
  std::int64_t px = x;
  std::int64_t py = std::int64_t{y} + kTopMargin;
  for (const char* p = text; *p != '\0'; ++p) {
    const int c = static_cast<unsigned char>(*p);
    if (c == '\n') {
      px = std::int64_t{x} - kCellWidth;
      py += std::int64_t{kLinePitch} * textScale;
    }
    if (c >= kFirstCode) {
      paintGlyph(glyphs + static_cast<std::size_t>(c - kFirstCode) * kGlyphRows, px, py);
    }
    px += kCellWidth;
  }
}

}  // namespace velmora
