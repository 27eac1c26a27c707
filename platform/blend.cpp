#include "platform/blend.h"

#include <algorithm>

#include "platform/blend_paths.h"

namespace platform {

bool blendRowScalar(std::uint32_t* dst, const std::uint32_t* src, std::size_t count, int alpha) {
  if (alpha <= 0) return false;
  bool changed = false;
  // Alphas above 255 draw as 255: the weight never exceeds 256, so a channel
  // never leaves the range between its old and its image value.
  const int weight = std::min(alpha, 255) + 1;
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
    changed = changed || out != d;
    dst[i] = out;
  }
  return changed;
}

std::vector<BlendPath> availableBlendPaths() {
  std::vector<BlendPath> paths{{"scalar", &blendRowScalar}};
#if defined(VELMORA_BLEND_SSE2) || defined(VELMORA_BLEND_AVX2)
  __builtin_cpu_init();
#endif
#if defined(VELMORA_BLEND_SSE2)
  if (__builtin_cpu_supports("sse2")) paths.push_back({"sse2", &blendRowSse2});
#endif
#if defined(VELMORA_BLEND_AVX2)
  if (__builtin_cpu_supports("avx2")) paths.push_back({"avx2", &blendRowAvx2});
#endif
  return paths;
}

BlendRowFn bestBlendRow() {
  static const BlendRowFn best = availableBlendPaths().back().row;
  return best;
}

}  // namespace platform
