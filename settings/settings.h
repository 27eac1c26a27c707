// The settings: three slider positions kept in "velmorascr.ini" beside the
// executable, and the values the show derives from them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace velmora {

struct Settings {
  std::int32_t videomax = 0;         // slider 1, "PLAY SLIDES", 0..99
  std::int32_t darkmax = 0;          // slider 2, "DARK SCREEN", 0..99
  std::int32_t dotmode = 0;          // slider 3, "SCREEN MODE", 0..99
  std::int32_t slideSeconds = 0;     // slides between dark intervals
  std::int32_t darkSeconds = 0;      // length of a dark interval
  bool isBright = false;             // dotmode < 50
  std::int32_t brightnessLevel = 0;  // 255 - 2 * dotmode
};

extern Settings settings;

inline constexpr std::array<std::int32_t, 8> slideSecondsTable = {5, 5, 10, 10, 15, 15, 20, 20};
inline constexpr std::array<std::int32_t, 8> darkSecondsTable = {0, 5, 10, 15, 20, 30, 60, 90};

// The step of a slider position: floor(2p / 25), 0..7 for 0..99.
int stepOfPosition(std::int32_t position);

// Set a position, clamped to 0..99, and the values that derive from it.
void setVideomax(std::int32_t position);
void setDarkmax(std::int32_t position);
void setDotmode(std::int32_t position);

// The settings file's full path.
std::string settingsPath();

// Reads the settings file, first writing it from the values held when it
// cannot be opened; afterwards every derived value follows its position.
void loadSettings();
// Replaces the settings file with the positions held; a failure leaves the
// old file as it was and is not reported.
void saveSettings();

// Settings back to their start values (for tests).
void resetSettings();

}  // namespace velmora
