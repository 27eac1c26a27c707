// Clock-seeded pseudo-random numbers, for every real target.
#include <chrono>
#include <random>

#include "platform/clock.h"

namespace platform {
namespace {
std::mt19937& generator() {
  static std::mt19937 engine{5489u};
  return engine;
}
}  // namespace

void seedRandomFromClock() {
  const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
  generator().seed(static_cast<std::uint32_t>(static_cast<std::uint64_t>(ticks) ^
                                              (static_cast<std::uint64_t>(ticks) >> 32)));
}

double randomUnit() {
  // 32 random bits over 2^32: always below 1.
  return static_cast<double>(generator()()) / 4294967296.0;
}

}  // namespace platform
