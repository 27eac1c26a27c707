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

// A pause sleeps in slices this long at most, serving the window between
// them: short enough that a key ends a long pause at once and a stop signal
// is acted on quickly, long enough to cost next to nothing.
constexpr auto kSlice = std::chrono::milliseconds(10);

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
    std::this_thread::sleep_for(std::min<Clock::duration>(deadline - now, kSlice));
  }
}

}  // namespace platform
