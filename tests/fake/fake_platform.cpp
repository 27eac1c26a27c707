#include "tests/fake/fake_platform.h"

#include <algorithm>
#include <cmath>

#include "platform/display.h"
#include "platform/preview_host.h"
#include "platform/process.h"

namespace fake {
namespace {

struct Scripted {
  double at;
  platform::MouseReading reading;
};

struct State {
  SurfaceKind kind = SurfaceKind::None;
  std::vector<platform::Pixel> pixels;
  platform::Canvas canvas;
  bool failOpen = false;

  double clock = 0.0;
  std::vector<PauseRecord> pauses;
  std::function<void(int)> onPause;
  std::optional<platform::TimeOfDay> timeOfDayAtStart = platform::TimeOfDay{12, 0, 0};
  std::vector<double> randomValues{0.0};
  std::size_t randomIndex = 0;

  std::vector<Scripted> mouse;  // sorted by time
  std::vector<double> keys;     // arrival times, sorted
  std::optional<MouseSetting> mouseSetting;
  std::optional<MouseSetting> warp;  // where setMouse put the pointer, and when
  double warpedAt = -1.0;

  std::vector<std::string> arguments;
  std::string executableDirectory = ".";
  std::map<std::string, std::string> environment;
  std::vector<std::string> debugMessages;

  PreviewDriver previewDriver;
};

State& state() {
  static State s;
  return s;
}

bool openSurface(SurfaceKind kind, int width, int height) {
  State& s = state();
  if (s.failOpen) {
    s.failOpen = false;
    return false;
  }
  s.kind = kind;
  s.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0u);
  s.canvas = platform::Canvas{};
  s.canvas.pixels = s.pixels.data();
  s.canvas.width = width;
  s.canvas.height = height;
  s.canvas.pitch = width;
  s.canvas.resetViewport();
  return true;
}

const platform::MouseReading* scriptedReadingAt(double t, double* since) {
  const platform::MouseReading* found = nullptr;
  for (const Scripted& m : state().mouse) {
    if (m.at > t) break;
    found = &m.reading;
    *since = m.at;
  }
  return found;
}

}  // namespace

void reset() { state() = State{}; }

SurfaceKind surfaceKind() { return state().kind; }
platform::Canvas* canvas() { return state().kind == SurfaceKind::None ? nullptr : &state().canvas; }
platform::Pixel pixel(int x, int y) { return state().canvas.at(x, y); }
void failNextOpen() { state().failOpen = true; }

double now() { return state().clock; }
void advance(double seconds) { state().clock += seconds; }
const std::vector<PauseRecord>& pauses() { return state().pauses; }
void onPause(std::function<void(int)> callback) { state().onPause = std::move(callback); }
void setTimeOfDayAtStart(std::optional<platform::TimeOfDay> time) { state().timeOfDayAtStart = time; }
void setRandomValues(std::vector<double> values) {
  state().randomValues = values.empty() ? std::vector<double>{0.0} : std::move(values);
  state().randomIndex = 0;
}

void scheduleMouse(double at, platform::MouseReading reading) {
  auto& m = state().mouse;
  m.push_back({at, reading});
  std::stable_sort(m.begin(), m.end(), [](const Scripted& a, const Scripted& b) { return a.at < b.at; });
}

void scheduleKey(double at) {
  auto& k = state().keys;
  k.insert(std::upper_bound(k.begin(), k.end(), at), at);
}

std::optional<MouseSetting> lastMouseSetting() { return state().mouseSetting; }

void setArguments(std::vector<std::string> arguments) { state().arguments = std::move(arguments); }
void setExecutableDirectory(std::string directory) { state().executableDirectory = std::move(directory); }
void setEnvironment(const std::string& name, std::optional<std::string> value) {
  if (value) {
    state().environment[name] = *value;
  } else {
    state().environment.erase(name);
  }
}
std::vector<std::string> debugMessages() { return state().debugMessages; }

std::optional<int> runUntilExit(const std::function<void()>& body) {
  try {
    body();
  } catch (const ProcessExit& exit) {
    return exit.code;
  }
  return std::nullopt;
}

void setPreviewDriver(PreviewDriver driver) { state().previewDriver = std::move(driver); }

}  // namespace fake

// ---------------------------------------------------------------------------
// The platform interface, served by the fake.
namespace platform {

namespace backend {
Canvas* activeCanvas() { return fake::canvas(); }
}  // namespace backend

bool openFullScreen(int width, int height) { return fake::openSurface(fake::SurfaceKind::FullScreen, width, height); }
bool openFramelessWindow(int width, int height) { return fake::openSurface(fake::SurfaceKind::Window, width, height); }
bool surfaceIsOpen() { return fake::state().kind != fake::SurfaceKind::None; }
void closeSurface() { fake::state().kind = fake::SurfaceKind::None; }

MouseReading readMouse() {
  // The latest scripted reading, unless the program moved the pointer since:
  // then the pointer is where it was put, with no button held.
  fake::State& s = fake::state();
  double since = -1.0;
  const MouseReading* scripted = fake::scriptedReadingAt(s.clock, &since);
  if (s.warp && s.warpedAt >= since && s.kind != fake::SurfaceKind::None) {
    return MouseReading{s.warp->x, s.warp->y, 0, 0};
  }
  return scripted ? *scripted : MouseReading{};
}

void setMouse(int x, int y, bool visible, bool confined) {
  fake::State& s = fake::state();
  s.mouseSetting = fake::MouseSetting{x, y, visible, confined};
  s.warp = fake::MouseSetting{x, y, visible, confined};
  s.warpedAt = s.clock;
}

bool pollKey() {
  auto& keys = fake::state().keys;
  if (keys.empty() || keys.front() > fake::state().clock) return false;
  keys.erase(keys.begin());
  return true;
}

double clockSeconds() { return fake::state().clock; }

std::optional<TimeOfDay> localTimeOfDay() {
  const auto& start = fake::state().timeOfDayAtStart;
  if (!start) return std::nullopt;
  const long base = start->hour * 3600L + start->minute * 60L + start->second;
  const long t = (base + static_cast<long>(std::floor(fake::state().clock))) % 86400L;
  return TimeOfDay{static_cast<int>(t / 3600), static_cast<int>((t / 60) % 60), static_cast<int>(t % 60)};
}

void pause(int milliseconds) {
  fake::State& s = fake::state();
  s.pauses.push_back({s.clock, milliseconds});
  if (s.onPause) s.onPause(milliseconds);
  double end = s.clock + milliseconds / 1000.0;
  // A long pause ends early once a key entry is there.
  if (milliseconds >= 100 && !s.keys.empty() && s.keys.front() < end) end = s.keys.front();
  s.clock = std::max(s.clock, end);
}

void seedRandomFromClock() {}

double randomUnit() {
  fake::State& s = fake::state();
  const double r = s.randomValues[std::min(s.randomIndex, s.randomValues.size() - 1)];
  ++s.randomIndex;
  return r;
}

void startProcess(int, char**) {}
const std::vector<std::string>& arguments() { return fake::state().arguments; }
std::string executableDirectory() { return fake::state().executableDirectory; }
char pathSeparator() { return '/'; }

std::optional<std::string> environmentVariable(std::string_view name) {
  const auto& env = fake::state().environment;
  const auto it = env.find(std::string(name));
  if (it == env.end()) return std::nullopt;
  return it->second;
}

void debugMessage(std::string_view line) { fake::state().debugMessages.emplace_back(line); }

void exitProcess(int code) {
  closeSurface();
  throw fake::ProcessExit{code};
}

int runPreviewWindow(std::int32_t hostWindow, const std::uint8_t* previewBitmap, void (*stepPreview)()) {
  if (!fake::state().previewDriver) return 0;
  return fake::state().previewDriver(hostWindow, previewBitmap, stepPreview);
}

}  // namespace platform
