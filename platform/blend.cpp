#include "platform/blend.h"

namespace platform {

void blendRowScalar(std::uint32_t* dst, const std::uint32_t* src, std::size_t count, int alpha) {
  if (alpha <= 0) return;
  const int weight = alpha + 1;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t s = src[i];
    if ((s & 0xFFFFFFu) == 0xFF00FFu) continue;
    const std::uint32_t d = dst[i];
    std::uint32_t out = d & 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
      const int oldC = static_cast<int>((d >> shift) & 0xFFu);
      const int imgC = static_cast<int>((s >> shift) & 0xFFu);
      // C++20 defines >> of a negative value as an arithmetic shift: floor.
      const int c = oldC + (((imgC - oldC) * weight) >> 8);
      out |= static_cast<std::uint32_t>(c) << shift;
    }
    dst[i] = out;
  }
}

std::vector<BlendPath> availableBlendPaths() { return {{"scalar", &blendRowScalar}}; }

BlendRowFn bestBlendRow() {
  static const BlendRowFn best = availableBlendPaths().back().row;
  return best;
}

}  // namespace platform
