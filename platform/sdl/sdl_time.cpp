// The clock and the pause on Linux.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include "platform/clock.h"
#include "platform/sdl/sdl_host.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// A pause waits for the window's next event, a slice this long at most, and
// serves the window after each wait: input wakes it at once, so a key ends a
// long pause without delay, and a stop signal is acted on within a slice.
// (Sleeping in fixed 10 ms slices instead cost about 1 % of a core while
// idle, in wake-ups alone.)
constexpr auto kSlice = std::chrono::milliseconds(100);

}  // namespace

double clockSeconds() {
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

std::optional<TimeOfDay> localTimeOfDay() {
  const std::time_t now = std::time(nullptr);
  if (now == static_cast<std::time_t>(-1)) return std::nullopt;
  std::tm local{};
  if (!localtime_r(&now, &local)) return std::nullopt;
  return TimeOfDay{local.tm_hour, local.tm_min, std::min(local.tm_sec, 59)};
}

void pause(int milliseconds) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
  const bool endsOnKey = milliseconds >= 100;
  for (;;) {
    // The first service shows what was drawn just before the pause.
    sdl::serviceSurface();
    if (endsOnKey && sdl::keyEntryWaiting()) return;
    const auto now = Clock::now();
    if (now >= deadline) return;
    const auto wait = std::min<Clock::duration>(deadline - now, kSlice);
    if (sdl::surfaceWindow()) {
      // Whole milliseconds, rounded up so as not to wake just short of the end.
      const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wait);
      // Without an event pointer nothing is taken from the queue; the next
      // service step handles whatever arrived.
      SDL_WaitEventTimeout(nullptr, static_cast<int>(waitMs.count()));
    } else {
      std::this_thread::sleep_for(wait);
    }
  }
}

}  // namespace platform
