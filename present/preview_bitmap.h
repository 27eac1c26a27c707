// The preview's picture: a complete 24-bit BMP file in memory (file header,
// info header, 112 rows of 152 pixels, bottom row first), rebuilt from the
// DecodedImage on every tick of the preview window.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmora {

inline constexpr int kPreviewBitmapBytes = 51126;
inline constexpr int kPreviewHeaderBytes = 54;
inline constexpr int kPreviewRowBytes = 456;  // 152 pixels x 3 bytes, no fill
inline constexpr int kPreviewRows = 112;
inline constexpr int kPreviewColumns = 152;
inline constexpr int kPreviewSampleStep = 6;  // every sixth pixel of every sixth row

// The smallest DecodedImage the sampling stays inside: columns 0..906, rows 0..666.
inline constexpr int kPreviewSourceWidth = (kPreviewColumns - 1) * kPreviewSampleStep + 1;  // 907
inline constexpr int kPreviewSourceHeight = (kPreviewRows - 1) * kPreviewSampleStep + 1;    // 667

// BITMAPFILEHEADER and BITMAPINFOHEADER of the picture, little-endian.
inline constexpr std::array<std::uint8_t, kPreviewHeaderBytes> kPreviewBitmapHeader = {
    'B', 'M',                // bfType
    0xB6, 0xC7, 0x00, 0x00,  // bfSize 51126
    0x00, 0x00,              // bfReserved1
    0x00, 0x00,              // bfReserved2
    0x36, 0x00, 0x00, 0x00,  // bfOffBits 54
    0x28, 0x00, 0x00, 0x00,  // biSize 40
    0x98, 0x00, 0x00, 0x00,  // biWidth 152
    0x70, 0x00, 0x00, 0x00,  // biHeight 112, positive: rows bottom-up
    0x01, 0x00,              // biPlanes 1
    0x18, 0x00,              // biBitCount 24
    0x00, 0x00, 0x00, 0x00,  // biCompression BI_RGB
    0x80, 0xC7, 0x00, 0x00,  // biSizeImage 51072
    0x00, 0x00, 0x00, 0x00,  // biXPelsPerMeter
    0x00, 0x00, 0x00, 0x00,  // biYPelsPerMeter
    0x00, 0x00, 0x00, 0x00,  // biClrUsed
    0x00, 0x00, 0x00, 0x00,  // biClrImportant
};

// PreviewBitmap, program-wide; zero (black rows, no header) at program start.
// Its storage is placed two bytes past a 4-byte boundary, so that the info
// header (offset 14) and the pixel rows (offset 54) start on 4-byte
// boundaries, as the painting API likes them.
std::uint8_t* previewBitmap();

// One tick: advances the frame cycle (decoding the next slide when it is
// due) and rewrites the pixel rows from the DecodedImage, faded. A
// DecodedImage missing or too small for the sampling (under 907 x 667, or
// less memory than its size claims) leaves the picture black.
void stepPreview();

// The bitmap back to all zero (for tests).
void resetPreviewBitmap();

}  // namespace velmora
