// One preview tick: 17,024 samples of a 1024 x 768 slide, faded and written
// bottom-up into the 24-bit bitmap (the slide already decoded).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "platform/pixels.h"
#include "present/preview_bitmap.h"
#include "settings/frame_cycle.h"
#include "slides/slides.h"

namespace {

void BM_PreviewTick(benchmark::State& state) {
  velmora::resetSlideSource();
  velmora::resetFrameCycle();
  auto image = std::make_unique<platform::Image>();
  image->width = 1024;
  image->height = 768;
  image->words.assign(1024 * 768 + 1, 0u);
  for (std::size_t k = 1; k < image->words.size(); ++k) image->words[k] = static_cast<std::uint32_t>(k * 2654435761u);
  velmora::decodedImage = std::move(image);
  velmora::decodedWidth = 1024;
  velmora::decodedHeight = 768;
  velmora::slideTable.lastSlide = 0;  // one slide, decoded: the ticks only sample and fade
  velmora::currentSlide = 0;
  for (auto _ : state) {
    velmora::stepPreview();
    benchmark::DoNotOptimize(velmora::previewBitmap());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 152 * 112);
  velmora::resetSlideSource();
  velmora::resetFrameCycle();
}
BENCHMARK(BM_PreviewTick);

}  // namespace
