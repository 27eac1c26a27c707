// Conditioning kernels: every colour channel c of the codec's pixels
// (bytes red, green, blue and an unused fourth) becomes
//   scale(c) = x / 256 rounded to the nearest integer, a half to the even one,
//   with x = (c & 0xFC) * level,
// and the pixel becomes 0xFF000000 | scale(r) << 16 | scale(g) << 8 | scale(b).
// Levels 0 ... 255 are the show's brightness; level 256 keeps c & 0xFC
// exactly, the preview's rule.
//
// conditionRowScalar is the rule as written; the vector paths beside it must
// give the same words, and the tests hold them to that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/pixels.h"

namespace velmora {

inline constexpr std::uint32_t kPreviewLevel = 256;

using ConditionRowFn = void (*)(platform::Pixel* pixels, std::size_t count, std::uint32_t level);

void conditionRowScalar(platform::Pixel* pixels, std::size_t count, std::uint32_t level);

struct ConditionPath {
  std::string_view name;  // "scalar", "sse2", "avx2"
  ConditionRowFn row;
};

// Every path this build has and this processor can run, the scalar one first.
std::vector<ConditionPath> availableConditionPaths();

// The fastest of them; chosen once.
ConditionRowFn bestConditionRow();

}  // namespace velmora
