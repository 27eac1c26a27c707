// Text in the built-in 8 x 13 font ("VGAFIX"): whole character cells
// painted opaquely, white on black, one pixel at a time.
#pragma once

#include <cstdint>
#include <span>

namespace velmora {

inline constexpr int kGlyphCount = 224;
inline constexpr int kGlyphRows = 13;
inline constexpr std::uint32_t textForeground = 0xFFFFFFFFu;
inline constexpr std::uint32_t textBackground = 0x00000000u;
inline constexpr int textScale = 1;

// Paints `text` (zero-terminated) with the first cell's top-left pixel at
// (x, y + 2); a line feed starts a new line 16 pixels lower at column x.
void drawText(int x, int y, const char* text);

// Takes `stored` (224 glyphs x 13 rows, one byte a row, bit 7 the leftmost
// pixel) as the font and makes rows 6 ... 12 of every glyph bolder. With
// fewer than 2,912 bytes there is no font and drawText paints nothing.
// drawText does this once, with the built-in "VGAFIX" resource, on first use.
void loadGlyphFont(std::span<const std::uint8_t> stored);

// The font as drawn (loading it first if need be); nullptr when there is none.
const std::uint8_t* glyphFont();

// Forget the loaded font (for tests).
void resetGlyphFont();

}  // namespace velmora
