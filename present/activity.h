// Watching for the user's return: a key in the buffer, a held button, or the
// mouse more than 8 pixels away from where the show found it.
#pragma once

#include <cstdint>

namespace velmora {

struct MouseAnchor {
  std::int32_t x = -1;
  std::int32_t y = -1;
};
extern MouseAnchor mouseAnchor;

void captureMouseAnchor();
bool keyPending();
bool isUserActive();

// The show's test for the user: keyPending, then isUserActive, both asked
// every time (the second may capture the anchor); true when either is.
bool userHasReturned();

// The anchor back to (-1, -1) (for tests).
void resetActivityWatch();

}  // namespace velmora
