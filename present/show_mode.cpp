#include "present/show_mode.h"

#include <cmath>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/input.h"
#include "platform/process.h"
#include "present/activity.h"
#include "present/dark_clock.h"
#include "settings/settings.h"
#include "slides/slides.h"

namespace velmora {

std::int32_t nextSlide = 0;
double phaseStart = 0.0;

namespace {

constexpr int kAlphaStep = 8;  // a = 0, 8, ..., 248: 32 steps
constexpr int kHighestAlpha = 255;
constexpr int kFadeStepMilliseconds = 20;
constexpr int kHoldPasses = 10;
constexpr int kHoldPassMilliseconds = 100;

// floor(r * count), kept to 0 ... count - 1 whatever the generator gives.
std::int32_t randomSlide(double r, std::int32_t count) {
  const double scaled = std::floor(r * count);
  if (!(scaled >= 0.0)) return 0;
  if (scaled >= count) return count - 1;
  return static_cast<std::int32_t>(scaled);
}

void crossFade() {
  for (int a = 0; a <= kHighestAlpha; a += kAlphaStep) {
    // While no slide has ever been decoded there is nothing to blend.
    if (decodedImage) platform::blendImage(*decodedImage, 0, 0, a);
    platform::pause(kFadeStepMilliseconds);
  }
}

void hold() {
  for (int pass = 0; pass < kHoldPasses; ++pass) {
    platform::pause(kHoldPassMilliseconds);
    if (userHasReturned()) platform::exitProcess(0);
  }
}

}  // namespace

void showMode() {
  // Without any surface there is no show to give; that is a failure, not a
  // user's ending.
  if (!platform::openFullScreen(kShowWidth, kShowHeight)) platform::exitProcess(1);
  platform::setMouse(kShowWidth / 2, kShowHeight / 2, false, false);
  loadSettings();
  openSlideArchive();
  captureMouseAnchor();
  platform::seedRandomFromClock();
  nextSlide = randomSlide(platform::randomUnit(), slideTable.count());
  phaseStart = platform::clockSeconds();
  runSlideCycle();
}

void runSlideCycle() {
  const std::int32_t count = slideTable.count();
  // openSlideArchive never returns without a slide; a cycle over none could
  // only divide by zero.
  if (count < 1 || count > kMaxSlides || nextSlide < 0 || nextSlide >= count) platform::exitProcess(1);
  for (;;) {
    if (platform::clockSeconds() - phaseStart > settings.slideSeconds) {
      if (settings.darkSeconds != 0) showDarkClock();
      phaseStart = platform::clockSeconds();
    }
    const auto slide = static_cast<std::size_t>(nextSlide);
    decodeSlide(slideTable.slideOffset[slide], slideTable.slideSize[slide]);
    nextSlide = (nextSlide + 1) % count;
    crossFade();
    hold();
  }
}

void resetShow() {
  nextSlide = 0;
  phaseStart = 0.0;
}

}  // namespace velmora
