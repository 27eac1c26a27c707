// The dark interval between phases of slides: a black screen with the time
// of day bobbing slowly up and down in the middle.
#pragma once

namespace velmora {

// Clears the show's surface and shows the clock for settings.darkSeconds,
// then returns, leaving the last drawing on the screen. Activity ends the
// process with exit code 0.
void showDarkClock();

}  // namespace velmora
