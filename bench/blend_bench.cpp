// One cross-fade step: a 1024 x 768 image blended over a 1024 x 768
// surface, row by row as the display does it, on each path of the blend.
// Compare with BM_Copy, a plain copy of the same frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

#include "platform/blend.h"

namespace {

constexpr std::size_t kWidth = 1024;
constexpr std::size_t kHeight = 768;

void BM_Blend(benchmark::State& state, std::string_view pathName) {
  platform::BlendRowFn row = nullptr;
  for (const auto& path : platform::availableBlendPaths()) {
    if (path.name == pathName) row = path.row;
  }
  if (!row) {
    state.SkipWithError("this processor or build has no such path");
    return;
  }
  std::mt19937 random(7u);
  std::vector<std::uint32_t> image(kWidth * kHeight);
  std::vector<std::uint32_t> surface(kWidth * kHeight);
  for (auto& p : image) p = static_cast<std::uint32_t>(random()) | 0xFF000000u;
  for (auto& p : surface) p = static_cast<std::uint32_t>(random()) | 0xFF000000u;
  int alpha = 0;
  for (auto _ : state) {
    alpha = (alpha + 8) & 0xFF;  // the fade's steps, so no alpha is special
    for (std::size_t y = 0; y < kHeight; ++y) row(surface.data() + y * kWidth, image.data() + y * kWidth, kWidth, alpha);
    benchmark::DoNotOptimize(surface.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(image.size() * 4));
}
BENCHMARK_CAPTURE(BM_Blend, scalar, std::string_view("scalar"));
BENCHMARK_CAPTURE(BM_Blend, sse2, std::string_view("sse2"));
BENCHMARK_CAPTURE(BM_Blend, avx2, std::string_view("avx2"));

}  // namespace
