// The slide source's per-slide work: decoding a built-in slide through the
// codec library extracted from the archive, and conditioning a decoded
// 1024 x 768 picture (in the show and in the preview).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

#include "platform/display.h"
#include "platform/pixels.h"
#include "settings/settings.h"
#include "slides/condition.h"
#include "slides/slides.h"
#include "tests/fake/fake_platform.h"

namespace {

platform::Image codecPicture(int width, int height) {
  platform::Image image;
  image.width = width;
  image.height = height;
  image.words.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + 1, 0u);
  std::mt19937 random(7);
  for (std::size_t i = 1; i < image.words.size(); ++i) image.words[i] = static_cast<std::uint32_t>(random());
  return image;
}

// Each run conditions a fresh copy of the codec's pixels, as every decode
// does; the copy is outside the timing.
void conditionLoop(benchmark::State& state, bool preview) {
  const platform::Image source = codecPicture(1024, 768);
  platform::Image image = source;
  velmora::settings.brightnessLevel = 155;
  velmora::inPreviewMode = preview;
  for (auto _ : state) {
    state.PauseTiming();
    image.words = source.words;
    state.ResumeTiming();
    velmora::conditionPixels(image, image.width, image.height);
    benchmark::DoNotOptimize(image.words.data());
    benchmark::ClobberMemory();
  }
  velmora::inPreviewMode = false;
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 1024 * 768);
}

void BM_ConditionPixels(benchmark::State& state) { conditionLoop(state, false); }
BENCHMARK(BM_ConditionPixels)->Unit(benchmark::kMicrosecond);

void BM_ConditionPixelsPreview(benchmark::State& state) { conditionLoop(state, true); }
BENCHMARK(BM_ConditionPixelsPreview)->Unit(benchmark::kMicrosecond);

// Each conditioning path this processor can run, on the same picture.
void BM_ConditionRow(benchmark::State& state) {
  const auto paths = velmora::availableConditionPaths();
  const auto index = static_cast<std::size_t>(state.range(0));
  if (index >= paths.size()) {
    state.SkipWithError("no such path on this processor");
    return;
  }
  const platform::Image source = codecPicture(1024, 768);
  platform::Image image = source;
  for (auto _ : state) {
    state.PauseTiming();
    image.words = source.words;
    state.ResumeTiming();
    paths[index].row(image.pixels(), image.pixelCount(), 155);
    benchmark::DoNotOptimize(image.words.data());
    benchmark::ClobberMemory();
  }
  state.SetLabel(std::string(paths[index].name));
}
BENCHMARK(BM_ConditionRow)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// decodeSlide on slide01.jpg as the show runs it: the archive built into
// the program, the codec written to a temporary directory and loaded from
// there, a 1024 x 768 surface, conditioning included. BM_TurboDecode
// (codec_bench.cpp) decodes the same slide with libjpeg-turbo alone.
void BM_DecodeSlide(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path tmp = fs::temp_directory_path() / ("velmora-bench-" + std::to_string(std::random_device{}()));
  fs::create_directories(tmp);
  fake::reset();
  velmora::resetSlideSource();
  fake::setEnvironment("TMP", tmp.string());
  platform::openFullScreen(1024, 768);
  velmora::settings.brightnessLevel = 155;
  if (fake::runUntilExit([] { velmora::openSlideArchive(); })) {
    state.SkipWithError("the built-in archive did not open");
  } else {
    const std::int32_t offset = velmora::slideTable.slideOffset[0];
    const std::int32_t size = velmora::slideTable.slideSize[0];
    for (auto _ : state) {
      if (velmora::decodeSlide(offset, size) != 0) {
        state.SkipWithError("the slide did not decode");
        break;
      }
      benchmark::DoNotOptimize(velmora::decodedImage->words.data());
      benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * velmora::decodedWidth *
                            velmora::decodedHeight);
  }
  velmora::resetSlideSource();
  fake::reset();
  std::error_code ignored;
  fs::remove_all(tmp, ignored);
}
BENCHMARK(BM_DecodeSlide)->Unit(benchmark::kMillisecond);

}  // namespace
