#include "settings/config_mode.h"

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/input.h"
#include "platform/process.h"
#include "settings/frame_cycle.h"
#include "settings/settings.h"
#include "settings/thumbnail.h"
#include "settings/widgets.h"
#include "slides/slides.h"

namespace velmora {
namespace {

constexpr int kWindowWidth = 384;
constexpr int kWindowHeight = 240;
constexpr platform::IntRect kWindowOutline{1, 1, 382, 237};
// The thumbnail is seen through this viewport, 256 x 164 pixels; its white
// border is the thumbnail's frame.
constexpr platform::IntRect kThumbnailView{64, 8, 319, 171};
constexpr int kMousePollsPerFrame = 4;
constexpr int kMousePollMilliseconds = 40;
constexpr int kLeftButtonOnly = 1;

}  // namespace

void configMode() {
  // Without a window the user could neither see the screen nor end it.
  if (!platform::openFramelessWindow(kWindowWidth, kWindowHeight)) platform::exitProcess(0);
  platform::drawBox(kWindowOutline, platform::kWhite);

  loadSettings();
  openSlideArchive();

  createSlider(1, 14, 23, "PLAY SLIDES");
  createButton(1, 38, 23, "Save");
  createSlider(2, 14, 25, "DARK SCREEN");
  createSlider(3, 14, 27, "SCREEN MODE");
  createButton(2, 38, 27, "Cancel");

  platform::seedRandomFromClock();
  startFrameCycle();

  for (;;) configFrame();
}

void configFrame() {
  stepThumbnail();
  platform::setViewport(kThumbnailView, platform::kWhite);
  if (thumbnailImage) platform::copyImage(*thumbnailImage, 0, 0);
  platform::resetViewport();

  for (int poll = 0; poll < kMousePollsPerFrame; ++poll) {
    const platform::MouseReading mouse = platform::readMouse();
    if (mouse.buttons == kLeftButtonOnly) {
      dragSliders(mouse.x, mouse.y);
      pressButtons(mouse.x, mouse.y);
    }
    platform::pause(kMousePollMilliseconds);
  }
  if (platform::pollKey()) platform::exitProcess(0);
}

}  // namespace velmora
