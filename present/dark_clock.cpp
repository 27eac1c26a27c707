#include "present/dark_clock.h"

#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/process.h"
#include "present/activity.h"
#include "present/show_mode.h"
#include "present/text.h"
#include "settings/settings.h"

namespace velmora {
namespace {

constexpr int kClockTop = 376;
constexpr int kBobDepth = 32;  // the clock swings between 376 and 376 + 32
constexpr int kCellWidth = 8;
constexpr int kPassMilliseconds = 100;

// "hh:mm:ss", or empty when the local time cannot be read. The buffer holds
// the longest text three ints could ever give, so nothing is cut or overrun.
struct ClockText {
  char bytes[40] = "";
};

ClockText clockText() {
  ClockText text;
  if (const auto time = platform::localTimeOfDay()) {
    std::snprintf(text.bytes, sizeof text.bytes, "%02d:%02d:%02d", time->hour, time->minute, time->second);
  }
  return text;
}

}  // namespace

void showDarkClock() {
  int bobOffset = 0;
  int bobStep = +1;
  const double start = platform::clockSeconds();
  platform::clearSurface();
  while (platform::clockSeconds() < start + settings.darkSeconds) {
    if (userHasReturned()) platform::exitProcess(0);
    const ClockText text = clockText();
    const int y = kClockTop + bobOffset;
    const int x = (kShowWidth - kCellWidth * static_cast<int>(std::strlen(text.bytes))) / 2;
    // Each drawing moves one pixel from the last and covers it but for one
    // row, which the digits and the colon keep blank: no trail, no erasing.
    drawText(x, y, text.bytes);
    bobOffset += bobStep;
    if (bobOffset >= kBobDepth) bobStep = -1;
    if (bobOffset <= 0) bobStep = +1;
    platform::pause(kPassMilliseconds);
  }
}

}  // namespace velmora
