// The full-screen show: slides cross-fade one into the next until the user
// touches the keyboard or the mouse.
#pragma once

#include <cstdint>

namespace velmora {

inline constexpr int kShowWidth = 1024;
inline constexpr int kShowHeight = 768;

// Never returns: every way out ends the process with exit code 0 (or 1 when
// no surface at all could be opened).
[[noreturn]] void showMode();

// The show's own state, set by its start-up.
extern std::int32_t nextSlide;  // the slide decoded next, 0 ... N - 1
extern double phaseStart;       // the clock reading at which the slide phase began

// The slide cycle, for ever, from the state above; showMode runs it after
// its start-up.
[[noreturn]] void runSlideCycle();

// The state above back to its start values (for tests).
void resetShow();

}  // namespace velmora
