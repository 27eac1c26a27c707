#include "settings/frame_cycle.h"

#include <cmath>

#include "platform/clock.h"
#include "slides/slides.h"

namespace velmora {

std::int32_t previewFrame = 0;
std::int32_t currentSlide = -1;

void startFrameCycle() {
  const int n = slideTable.count();
  const double frame = std::floor(platform::randomUnit() * n * kFramesPerSlide);
  // r < 1, so the frame lies in 0 .. 25N - 1; the clamp only guards the cast.
  previewFrame = frame > 0.0 && n > 0 ? static_cast<std::int32_t>(std::fmin(frame, n * kFramesPerSlide - 1.0)) : 0;
}

int advanceFrameCycle() {
  const int n = slideTable.count();
  if (n <= 0) return 0;  // nothing to show
  previewFrame += 1;
  if (previewFrame > kFramesPerSlide * n || previewFrame < 1) previewFrame = 1;
  const int slide = (previewFrame - 1) / kFramesPerSlide;
  if (slide != currentSlide) {
    const auto index = static_cast<std::size_t>(slide);
    decodeSlide(slideTable.slideOffset[index], slideTable.slideSize[index]);
    currentSlide = slide;
  }
  return (previewFrame - 1) % kFramesPerSlide;
}

std::uint32_t fadeChannel(std::uint32_t channel, int fadeLevel) {
  // x / 32 to the nearest integer, a half going to the even neighbour.
  const std::uint32_t x = (channel & 0xFCu) * static_cast<std::uint32_t>(fadeLevel);
  return (x + 15u + ((x >> 5) & 1u)) >> 5;
}

void resetFrameCycle() {
  previewFrame = 0;
  currentSlide = -1;
}

}  // namespace velmora
