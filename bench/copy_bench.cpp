// The yardstick the pixel kernels are measured against: a plain copy of
// one full 1024 x 768 frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void BM_Copy(benchmark::State& state) {
  std::vector<std::uint32_t> src(1024 * 768, 0x00808080u);
  std::vector<std::uint32_t> dst(1024 * 768, 0u);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), src.size() * sizeof(std::uint32_t));
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(src.size() * 4));
}
BENCHMARK(BM_Copy);

}  // namespace
