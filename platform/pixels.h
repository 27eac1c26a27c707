// Pixels, rectangles and images: the value types every drawing operation
// speaks in.
//
// A Pixel is a 32-bit word 0xAARRGGBB (bytes blue, green, red, alpha in
// memory). An IntRect holds two corners and includes both. An Image is a
// header word followed by its pixels, top row first, exactly as the program
// keeps its decoded slide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

using Pixel = std::uint32_t;

inline constexpr Pixel kWhite = 0xFFFFFFFFu;
inline constexpr Pixel kOpaqueBlack = 0xFF000000u;

constexpr std::uint32_t redOf(Pixel p) { return (p >> 16) & 0xFFu; }
constexpr std::uint32_t greenOf(Pixel p) { return (p >> 8) & 0xFFu; }
constexpr std::uint32_t blueOf(Pixel p) { return p & 0xFFu; }
constexpr Pixel makePixel(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a = 0xFF) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

// A rectangle given by two corners, both of them included.
struct IntRect {
  int left = 0;
  int top = 0;
  int right = -1;
  int bottom = -1;

  constexpr int width() const { return right - left + 1; }
  constexpr int height() const { return bottom - top + 1; }
  constexpr bool contains(int x, int y) const {
    return x >= left && x <= right && y >= top && y <= bottom;
  }
  constexpr bool operator==(const IntRect&) const = default;
};

// The image header word: bits 0-2 bytes per pixel (4), bits 3-15 the width
// (at most 8191), bits 16-31 the height.
inline constexpr int kMaxImageWidth = 8191;
inline constexpr int kMaxImageHeight = 65535;
constexpr std::uint32_t makeImageHeader(int width, int height) {
  return (static_cast<std::uint32_t>(height) << 16) | (static_cast<std::uint32_t>(width) << 3) | 4u;
}
constexpr int headerWidth(std::uint32_t header) { return static_cast<int>((header >> 3) & 0x1FFFu); }
constexpr int headerHeight(std::uint32_t header) { return static_cast<int>(header >> 16); }

// An image as the display creates it: word 0 is the header word, words
// 1 ... width*height the pixels, top row first, rows back to back. `width`
// and `height` are the size the memory was made for; an image made as a plain
// block (the preview's) may leave the header word 0 and carry spare words
// after its pixels.
struct Image {
  std::vector<std::uint32_t> words;
  int width = 0;
  int height = 0;

  Pixel* pixels() { return words.data() + 1; }
  const Pixel* pixels() const { return words.data() + 1; }
  std::uint32_t header() const { return words[0]; }
  std::size_t pixelCount() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
};

}  // namespace platform
