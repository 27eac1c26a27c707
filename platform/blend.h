// The constant-alpha blend of image rows over surface rows.
//
// For alpha a in 1 ... 255 and A = a + 1, every colour channel becomes
//   old + floor((img - old) * A / 256)
// (rounding toward minus infinity, so the result lies between old and img),
// and a source pixel whose low 24 bits are 0xFF00FF leaves the surface pixel
// as it is. Bits 24-31 of the result are of no consequence to the display;
// every implementation leaves the surface's own top byte unchanged.
//
// blendRowScalar is the rule as written; the vector paths beside it must give
// the same words, and the tests hold them to that.
//
// Each returns whether a word of the row changed. Late in a fade no pixel
// moves any more (every channel is then the image's or one below it), and a
// display need not show such a step again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace platform {

using BlendRowFn = bool (*)(std::uint32_t* dst, const std::uint32_t* src, std::size_t count, int alpha);

bool blendRowScalar(std::uint32_t* dst, const std::uint32_t* src, std::size_t count, int alpha);

struct BlendPath {
  std::string_view name;  // "scalar", "sse2", "avx2"
  BlendRowFn row;
};

// Every path this build has and this processor can run, the scalar one first.
std::vector<BlendPath> availableBlendPaths();

// The fastest of them; chosen once.
BlendRowFn bestBlendRow();

}  // namespace platform
