#include "present/activity.h"

#include <cstdint>
#include <cstdlib>

#include "platform/input.h"

namespace velmora {
namespace {

// Movement up to this many pixels along an axis is not activity.
constexpr std::int64_t kStillDistance = 8;

bool anchorCaptured() { return mouseAnchor.x >= 0 && mouseAnchor.y >= 0; }

std::int64_t distance(int a, std::int32_t b) { return std::llabs(std::int64_t{a} - std::int64_t{b}); }

}  // namespace

MouseAnchor mouseAnchor;

void captureMouseAnchor() {
  // Once a capture has succeeded the anchor stays where it is: movement is
  // always measured from the place the show found the pointer.
  if (anchorCaptured()) return;
  const platform::MouseReading reading = platform::readMouse();
  // A failed reading gives -1, -1: still no anchor.
  mouseAnchor = MouseAnchor{reading.x, reading.y};
}

bool keyPending() { return platform::pollKey(); }

bool isUserActive() {
  if (!anchorCaptured()) {
    captureMouseAnchor();
    return false;
  }
  // A failed reading (the window inactive, or the pointer outside it) has a
  // button mask of -1 and so counts as activity.
  const platform::MouseReading reading = platform::readMouse();
  return reading.buttons != 0 || distance(reading.x, mouseAnchor.x) > kStillDistance ||
         distance(reading.y, mouseAnchor.y) > kStillDistance;
}

bool userHasReturned() {
  const bool key = keyPending();
  const bool active = isUserActive();
  return key || active;
}

void resetActivityWatch() { mouseAnchor = MouseAnchor{}; }

}  // namespace velmora
