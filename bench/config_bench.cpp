// The configuration screen's per-frame work: one thumbnail step over a
// decoded 1024 x 768 slide (the slide stays the same, so nothing is decoded).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "platform/display.h"
#include "settings/frame_cycle.h"
#include "settings/thumbnail.h"
#include "slides/slides.h"
#include "tests/fake/fake_platform.h"

namespace {

void BM_StepThumbnail(benchmark::State& state) {
  fake::reset();
  platform::openFramelessWindow(384, 240);
  velmora::resetSlideSource();
  velmora::resetFrameCycle();
  velmora::resetThumbnail();
  velmora::decodedImage = platform::createImage(1024, 768);
  velmora::decodedWidth = 1024;
  velmora::decodedHeight = 768;
  std::mt19937 random(7);
  for (std::size_t i = 1; i < velmora::decodedImage->words.size(); ++i) {
    velmora::decodedImage->words[i] = static_cast<std::uint32_t>(random());
  }
  velmora::slideTable.lastSlide = 0;  // one slide, already in the DecodedImage
  velmora::currentSlide = 0;
  for (auto _ : state) {
    velmora::stepThumbnail();
    benchmark::DoNotOptimize(velmora::thumbnailImage->pixels());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * velmora::kThumbnailWidth *
                          velmora::kThumbnailHeight);
}
BENCHMARK(BM_StepThumbnail)->Unit(benchmark::kMicrosecond);

}  // namespace
