// The platform as the unit tests see it: an in-memory surface, a virtual
// clock that pauses advance, scripted mouse readings and key presses, and a
// process exit that a test can catch.
//
// A whole mode runs against it in milliseconds: twenty virtual minutes of
// show are twenty virtual minutes of pauses, and every pixel can be checked.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/clock.h"
#include "platform/input.h"

namespace fake {

// What platform::exitProcess throws.
struct ProcessExit {
  int code;
};

enum class SurfaceKind { None, FullScreen, Window };

struct PauseRecord {
  double at;  // virtual seconds when the pause began
  int milliseconds;
};

// Everything back to a fresh process: no surface, clock at 0, no scripted
// input, no arguments, no environment, the executable directory ".".
void reset();

// --- surface ---------------------------------------------------------------
SurfaceKind surfaceKind();
platform::Canvas* canvas();  // nullptr while no surface is open
platform::Pixel pixel(int x, int y);
// Make the next open fail (as with no display server).
void failNextOpen();

// --- clock -----------------------------------------------------------------
double now();
void advance(double seconds);
const std::vector<PauseRecord>& pauses();
// Called at the start of every pause, before the clock moves: the place to
// look at the surface as the user would see it.
void onPause(std::function<void(int milliseconds)> callback);
// The local time of day at clock 0; it runs on with the virtual clock.
// Nothing: the local time cannot be read.
void setTimeOfDayAtStart(std::optional<platform::TimeOfDay> time);
// The values randomUnit() returns, in turn (the last one repeats).
void setRandomValues(std::vector<double> values);

// --- input -----------------------------------------------------------------
// From virtual time `at` on, readMouse() gives `reading` (until a later one).
void scheduleMouse(double at, platform::MouseReading reading);
// A key entry arrives at virtual time `at`.
void scheduleKey(double at);
// The last setMouse call's arguments.
struct MouseSetting {
  int x = 0;
  int y = 0;
  bool visible = true;
  bool confined = false;
};
std::optional<MouseSetting> lastMouseSetting();

// --- process ---------------------------------------------------------------
void setArguments(std::vector<std::string> arguments);
void setExecutableDirectory(std::string directory);
void setEnvironment(const std::string& name, std::optional<std::string> value);
std::vector<std::string> debugMessages();

// Runs `body` and returns the exit code it ended the process with; fails
// the test (by returning nothing) when it returned instead.
std::optional<int> runUntilExit(const std::function<void()>& body);

// --- preview host ------------------------------------------------------------
// What runPreviewWindow does under test: the driver gets the bitmap and the
// step function, plays the window's life (ticks) and returns the loop's exit
// code. Without a driver the window "closes" at once with 0.
using PreviewDriver = std::function<int(std::int32_t hostWindow, const std::uint8_t* bitmap, void (*step)())>;
void setPreviewDriver(PreviewDriver driver);

}  // namespace fake
