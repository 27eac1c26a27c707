// The blend with AVX2: eight pixels at a time, each channel in a 16-bit
// lane. The arithmetic is that of blend_sse2.cpp (see there); the unpacks
// and the pack work within each 128-bit half, so the pixels keep their
// order.
#include <immintrin.h>

#include "platform/blend.h"
#include "platform/blend_paths.h"

namespace platform {

__attribute__((target("avx2"))) bool blendRowAvx2(std::uint32_t* dst, const std::uint32_t* src, std::size_t count,
                                                  int alpha) {
  if (alpha <= 0) return false;
  const int a = alpha < 255 ? alpha : 255;
  const auto imgWeight = static_cast<short>(a + 1);
  const auto oldWeight = static_cast<short>(255 - a);
  const __m256i wImg = _mm256_set_epi16(0, imgWeight, imgWeight, imgWeight, 0, imgWeight, imgWeight, imgWeight, 0,
                                        imgWeight, imgWeight, imgWeight, 0, imgWeight, imgWeight, imgWeight);
  const __m256i wOld = _mm256_set_epi16(256, oldWeight, oldWeight, oldWeight, 256, oldWeight, oldWeight, oldWeight,
                                        256, oldWeight, oldWeight, oldWeight, 256, oldWeight, oldWeight, oldWeight);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i colourBits = _mm256_set1_epi32(0x00FFFFFF);
  const __m256i skipColour = _mm256_set1_epi32(0x00FF00FF);
  __m256i changes = zero;  // the bits any word changed in

  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i));
    const __m256i lo =
        _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(d, zero), wOld),
                                           _mm256_mullo_epi16(_mm256_unpacklo_epi8(s, zero), wImg)),
                          8);
    const __m256i hi =
        _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(d, zero), wOld),
                                           _mm256_mullo_epi16(_mm256_unpackhi_epi8(s, zero), wImg)),
                          8);
    const __m256i blended = _mm256_packus_epi16(lo, hi);
    const __m256i skip = _mm256_cmpeq_epi32(_mm256_and_si256(s, colourBits), skipColour);
    const __m256i out = _mm256_blendv_epi8(blended, d, skip);
    changes = _mm256_or_si256(changes, _mm256_xor_si256(out, d));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), out);
  }
  const bool vectorChanged = _mm256_testz_si256(changes, changes) == 0;
  const bool tailChanged = blendRowScalar(dst + i, src + i, count - i, a);
  return vectorChanged || tailChanged;
}

}  // namespace platform
