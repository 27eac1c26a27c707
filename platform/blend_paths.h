// The vector paths of the blend (blend.h), each in a file of its own that
// is built only for processors of its family; blend.cpp offers the ones
// this build has (VELMORA_BLEND_SSE2, VELMORA_BLEND_AVX2) when the
// processor can run them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// 4 pixels at a time in 16-bit lanes (x86 and x86-64).
bool blendRowSse2(std::uint32_t* dst, const std::uint32_t* src, std::size_t count, int alpha);

// 8 pixels at a time in 16-bit lanes (x86-64 Linux).
bool blendRowAvx2(std::uint32_t* dst, const std::uint32_t* src, std::size_t count, int alpha);

}  // namespace platform
