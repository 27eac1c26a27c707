// The preview: the slides fading in, small, inside the host's window.
//
// Start-up: the bitmap header, the archive, a random first frame; then the
// platform's preview window runs its loop and calls stepPreview every 160 ms
// until the host destroys its window.
#include "present/preview_mode.h"

#include <algorithm>
#include <cstdint>

#include "platform/clock.h"
#include "platform/preview_host.h"
#include "present/preview_bitmap.h"
#include "settings/frame_cycle.h"
#include "slides/slides.h"

namespace velmora {
namespace {

static_assert(kPreviewHeaderBytes + kPreviewRows * kPreviewRowBytes == kPreviewBitmapBytes);
static_assert(kPreviewColumns * 3 == kPreviewRowBytes);
static_assert(kPreviewColumns == platform::kPreviewWidth && kPreviewRows == platform::kPreviewHeight);

// Two spare bytes in front put offsets 14 and 54 of the bitmap on 4-byte
// boundaries.
alignas(4) std::uint8_t gPreviewStorage[2 + kPreviewBitmapBytes] = {};

// Whether every sample (columns 0..906, rows 0..666 with the decoded width as
// the row length) lies inside the DecodedImage's memory.
bool sourceCoversSampling() {
  const platform::Image* image = decodedImage.get();
  if (!image || image->words.empty()) return false;
  if (decodedWidth < kPreviewSourceWidth || decodedHeight < kPreviewSourceHeight) return false;
  const std::uint64_t lastIndex = std::uint64_t{kPreviewSourceHeight - 1} * static_cast<std::uint64_t>(decodedWidth) +
                                  std::uint64_t{kPreviewSourceWidth - 1};
  return lastIndex < image->words.size() - 1;  // the pixels follow the header word
}

}  // namespace

std::uint8_t* previewBitmap() { return gPreviewStorage + 2; }

void resetPreviewBitmap() { std::fill(std::begin(gPreviewStorage), std::end(gPreviewStorage), std::uint8_t{0}); }

void stepPreview() {
  const int level = advanceFrameCycle();
  std::uint8_t* const rows = previewBitmap() + kPreviewHeaderBytes;
  if (!sourceCoversSampling()) {
    std::fill(rows, rows + kPreviewRows * kPreviewRowBytes, std::uint8_t{0});
    return;
  }
  const platform::Pixel* const source = decodedImage->pixels();
  const std::size_t stride = static_cast<std::size_t>(decodedWidth);
  for (int i = 0; i < kPreviewRows; ++i) {
    const platform::Pixel* sourceRow = source + static_cast<std::size_t>(kPreviewSampleStep * i) * stride;
    std::uint8_t* out = rows + (kPreviewRows - 1 - i) * kPreviewRowBytes;  // bottom-up
    for (int j = 0; j < kPreviewColumns; ++j) {
      const platform::Pixel p = sourceRow[kPreviewSampleStep * j];
      out[0] = static_cast<std::uint8_t>(fadeChannel(platform::blueOf(p), level));
      out[1] = static_cast<std::uint8_t>(fadeChannel(platform::greenOf(p), level));
      out[2] = static_cast<std::uint8_t>(fadeChannel(platform::redOf(p), level));
      out += 3;
    }
  }
}

int previewMode(std::int32_t hostWindow) {
  std::copy(kPreviewBitmapHeader.begin(), kPreviewBitmapHeader.end(), previewBitmap());
  inPreviewMode = true;
  openSlideArchive();
  platform::seedRandomFromClock();
  startFrameCycle();
  return platform::runPreviewWindow(hostWindow, previewBitmap(), stepPreview);
}

}  // namespace velmora
