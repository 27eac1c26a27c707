// Decoding a slide: libjpeg-turbo's own decode of a 1024 x 768 slide into
// an RGBX buffer, the yardstick the program's slide decode is measured
// against.
#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> readSlide(const char* name) {
  std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/resources/slides/" + name, std::ios::binary);
  return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void BM_TurboDecode(benchmark::State& state) {
  const std::vector<unsigned char> jpeg = readSlide("slide01.jpg");
  tjhandle handle = tjInitDecompress();
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colorspace = 0;
  if (jpeg.empty() || handle == nullptr ||
      tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &width, &height, &subsampling, &colorspace) != 0) {
    state.SkipWithError("cannot read slide01.jpg");
    if (handle != nullptr) tjDestroy(handle);
    return;
  }
  std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  for (auto _ : state) {
    if (tjDecompress2(handle, jpeg.data(), jpeg.size(), pixels.data(), width, width * 4, height, TJPF_RGBX, 0) != 0) {
      state.SkipWithError(tjGetErrorStr2(handle));
      break;
    }
    benchmark::DoNotOptimize(pixels.data());
    benchmark::ClobberMemory();
  }
  tjDestroy(handle);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * width * height);
}
BENCHMARK(BM_TurboDecode)->Unit(benchmark::kMillisecond);

}  // namespace
