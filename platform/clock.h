// Time: the monotonic clock, the local time of day, pauses and the
// clock-seeded random numbers.
#pragma once

#include <optional>

namespace platform {

// Seconds from a monotonic high-resolution counter.
double clockSeconds();

struct TimeOfDay {
  int hour = 0;    // 0 ... 23
  int minute = 0;  // 0 ... 59
  int second = 0;  // 0 ... 59
};
// The local time of day, or nothing when it cannot be read.
std::optional<TimeOfDay> localTimeOfDay();

// Pauses for `milliseconds`, keeping the window served and the surface shown.
// A pause of 100 ms or more ends early when a key entry arrives.
void pause(int milliseconds);

// Seeds the pseudo-random generator from the clock.
void seedRandomFromClock();
// A pseudo-random number r with 0 <= r < 1.
double randomUnit();

}  // namespace platform
