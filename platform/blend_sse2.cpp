// The blend with SSE2: four pixels at a time, each channel in a 16-bit
// lane.
//
// old + floor((img - old) * A / 256) is the same as
// floor((old * (256 - A) + img * A) / 256), since old * 256 is a multiple of
// 256; the sum is a weighted mean of two bytes times 256, at most
// 255 * 256, so it fits a 16-bit lane without sign. The top byte of each
// pixel takes the weights 256 and 0, which keeps the surface's own.
#include <emmintrin.h>

#include "platform/blend.h"
#include "platform/blend_paths.h"

// Built without SSE2 as the default (the 32-bit target), so the kernel asks
// for it itself; there it also realigns its stack, which Windows keeps at
// 4 bytes on 32-bit.
#if defined(__i386__)
#define VELMORA_SSE2_KERNEL __attribute__((target("sse2"), force_align_arg_pointer))
#else
#define VELMORA_SSE2_KERNEL __attribute__((target("sse2")))
#endif

namespace platform {

VELMORA_SSE2_KERNEL bool blendRowSse2(std::uint32_t* dst, const std::uint32_t* src, std::size_t count, int alpha) {
  if (alpha <= 0) return false;
  const int a = alpha < 255 ? alpha : 255;
  const auto imgWeight = static_cast<short>(a + 1);
  const auto oldWeight = static_cast<short>(255 - a);
  // Lanes from high to low: alpha, red, green, blue of the second pixel,
  // then of the first.
  const __m128i wImg = _mm_set_epi16(0, imgWeight, imgWeight, imgWeight, 0, imgWeight, imgWeight, imgWeight);
  const __m128i wOld = _mm_set_epi16(256, oldWeight, oldWeight, oldWeight, 256, oldWeight, oldWeight, oldWeight);
  const __m128i zero = _mm_setzero_si128();
  const __m128i colourBits = _mm_set1_epi32(0x00FFFFFF);
  const __m128i skipColour = _mm_set1_epi32(0x00FF00FF);
  __m128i changes = zero;  // the bits any word changed in

  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
    const __m128i lo = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), wOld),
                                                    _mm_mullo_epi16(_mm_unpacklo_epi8(s, zero), wImg)),
                                      8);
    const __m128i hi = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), wOld),
                                                    _mm_mullo_epi16(_mm_unpackhi_epi8(s, zero), wImg)),
                                      8);
    const __m128i blended = _mm_packus_epi16(lo, hi);
    const __m128i skip = _mm_cmpeq_epi32(_mm_and_si128(s, colourBits), skipColour);
    const __m128i out = _mm_or_si128(_mm_and_si128(skip, d), _mm_andnot_si128(skip, blended));
    changes = _mm_or_si128(changes, _mm_xor_si128(out, d));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), out);
  }
  const bool vectorChanged = _mm_movemask_epi8(_mm_cmpeq_epi8(changes, zero)) != 0xFFFF;
  const bool tailChanged = blendRowScalar(dst + i, src + i, count - i, a);
  return vectorChanged || tailChanged;
}

}  // namespace platform
