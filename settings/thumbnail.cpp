#include "settings/thumbnail.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/display.h"
#include "settings/frame_cycle.h"
#include "slides/slides.h"

namespace velmora {

std::unique_ptr<platform::Image> thumbnailImage;

namespace {

// The last source column and row the sampling reads.
constexpr std::int64_t kLastSampledColumn = (kThumbnailWidth - 1) * kThumbnailStride;   // 1020
constexpr std::int64_t kLastSampledRow = (kThumbnailHeight - 1) * kThumbnailStride;     // 764

// The decoded slide's pixels when every sample lies inside them.
const platform::Pixel* sampleableSlide() {
  if (!decodedImage || decodedImage->words.empty()) return nullptr;
  if (decodedWidth <= kLastSampledColumn || decodedHeight <= kLastSampledRow) return nullptr;
  const std::int64_t lastIndex = kLastSampledRow * decodedWidth + kLastSampledColumn;
  if (lastIndex >= static_cast<std::int64_t>(decodedImage->words.size()) - 1) return nullptr;
  return decodedImage->pixels();
}

}  // namespace

void drawThumbnail(int fadeLevel) {
  if (!thumbnailImage) return;
  platform::Pixel* out = thumbnailImage->pixels();
  const platform::Pixel* source = sampleableSlide();
  const auto count = static_cast<std::size_t>(kThumbnailWidth) * kThumbnailHeight;
  if (!source) {
    std::fill(out, out + count, platform::kOpaqueBlack);
    return;
  }

  // Each channel value's faded form, once per step instead of once per
  // channel of every pixel.
  std::array<platform::Pixel, 256> red{};
  std::array<platform::Pixel, 256> green{};
  std::array<platform::Pixel, 256> blue{};
  for (std::uint32_t c = 0; c < 256; ++c) {
    const std::uint32_t faded = fadeChannel(c, fadeLevel);
    red[c] = platform::kOpaqueBlack | faded << 16;
    green[c] = faded << 8;
    blue[c] = faded;
  }

  const auto rowStep = static_cast<std::size_t>(decodedWidth) * kThumbnailStride;
  for (int i = 0; i < kThumbnailHeight; ++i) {
    const platform::Pixel* row = source + static_cast<std::size_t>(i) * rowStep;
    for (int j = 0; j < kThumbnailWidth; ++j) {
      const platform::Pixel p = row[static_cast<std::size_t>(j) * kThumbnailStride];
      *out++ = red[platform::redOf(p)] | green[platform::greenOf(p)] | blue[platform::blueOf(p)];
    }
  }
}

void stepThumbnail() {
  const int fadeLevel = advanceFrameCycle();
  if (!thumbnailImage) thumbnailImage = platform::createImage(kThumbnailWidth, kThumbnailHeight);
  drawThumbnail(fadeLevel);
}

void resetThumbnail() { thumbnailImage.reset(); }

}  // namespace velmora
