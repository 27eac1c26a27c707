#include "slides/condition.h"

#include <cstring>

namespace velmora {

void conditionRowScalar(platform::Pixel* pixels, std::size_t count, std::uint32_t level) {
  const auto scale = [level](std::uint32_t channel) {
    const std::uint32_t x = (channel & 0xFCu) * level;
    return (x + 127u + ((x >> 8) & 1u)) >> 8;
  };
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t p = pixels[i];
    const std::uint32_t red = p & 0xFFu;
    const std::uint32_t green = (p >> 8) & 0xFFu;
    const std::uint32_t blue = (p >> 16) & 0xFFu;
    pixels[i] = 0xFF000000u | (scale(red) << 16) | (scale(green) << 8) | scale(blue);
  }
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VELMORA_CONDITION_VECTORS 1

namespace {

// The rule on `Bytes / 4` pixels at a time, in 16-bit lanes: as 16-bit
// lanes, p & 0x00FC00FC holds (r & 0xFC) and (b & 0xFC), and (p >> 8) &
// 0x00FC00FC holds (g & 0xFC) and the masked fourth byte. Every product is
// at most 252 * 256 = 64512 and the rounded sum at most 64640, so no lane
// overflows. The two results of each pixel then swap places (red up, blue
// down) and green moves back to bits 8-15.
template <int Bytes>
struct Lanes {
  typedef std::uint32_t Words __attribute__((vector_size(Bytes)));
  typedef std::uint16_t Halves __attribute__((vector_size(Bytes)));
};

template <int Bytes>
[[gnu::always_inline]] inline void conditionRowVector(platform::Pixel* pixels, std::size_t count, std::uint32_t level) {
  using Words = typename Lanes<Bytes>::Words;
  using Halves = typename Lanes<Bytes>::Halves;
  constexpr std::size_t kPerStep = Bytes / 4;
  Halves levels;
  for (std::size_t k = 0; k < Bytes / 2; ++k) levels[k] = static_cast<std::uint16_t>(level);
  std::size_t i = 0;
  for (; i + kPerStep <= count; i += kPerStep) {
    Words p;
    std::memcpy(&p, pixels + i, Bytes);
    Halves redBlue = reinterpret_cast<Halves>(p & 0x00FC00FCu) * levels;
    Halves green = reinterpret_cast<Halves>((p >> 8) & 0x00FC00FCu) * levels;
    redBlue = (redBlue + 127 + ((redBlue >> 8) & 1)) >> 8;
    green = (green + 127 + ((green >> 8) & 1)) >> 8;
    const Words rb = reinterpret_cast<Words>(redBlue);
    const Words g = reinterpret_cast<Words>(green);
    const Words out = 0xFF000000u | (rb << 16) | (rb >> 16) | ((g & 0xFFu) << 8);
    std::memcpy(pixels + i, &out, Bytes);
  }
  conditionRowScalar(pixels + i, count - i, level);
}

[[gnu::target("sse2")]] void conditionRowSse2(platform::Pixel* pixels, std::size_t count, std::uint32_t level) {
  conditionRowVector<16>(pixels, count, level);
}

[[gnu::target("avx2")]] void conditionRowAvx2(platform::Pixel* pixels, std::size_t count, std::uint32_t level) {
  conditionRowVector<32>(pixels, count, level);
}

}  // namespace
#endif

std::vector<ConditionPath> availableConditionPaths() {
  std::vector<ConditionPath> paths = {{"scalar", &conditionRowScalar}};
#ifdef VELMORA_CONDITION_VECTORS
  __builtin_cpu_init();
  if (__builtin_cpu_supports("sse2")) paths.push_back({"sse2", &conditionRowSse2});
  if (__builtin_cpu_supports("avx2")) paths.push_back({"avx2", &conditionRowAvx2});
#endif
  return paths;
}

ConditionRowFn bestConditionRow() {
  static const ConditionRowFn best = availableConditionPaths().back().row;
  return best;
}

}  // namespace velmora
