// A small program that opens the real Windows surface and reports what
// arrives, for checking the Windows host under Wine on a virtual X display.
//
//   win32-probe full|window SECONDS EXITCODE PAUSEMS
//
// It prints the display mode before opening, the surface window's screen
// rectangle, then draws a pattern in which every pixel of the surface is
// known: red = x mod 256, green = y mod 256, blue = 16 (x / 256) + 64
// (y / 256). It puts the pointer in the middle (hidden in full screen) and
// then, for SECONDS, pauses PAUSEMS at a time, printing how long each pause
// took, every key entry (and drawing a white 16 x 16 square for it along the
// top row, so a picture shows that drawing after a pause is presented) and
// every change of the mouse reading. It ends through the process exit with
// EXITCODE, which must give the display mode back; EXITCODE "throw" ends it
// by an uncaught exception instead, which must give the mode back too.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/input.h"
#include "platform/process.h"

namespace {

__attribute__((format(printf, 1, 2))) void say(const char* format, ...) {
  va_list values;
  va_start(values, format);
  std::vprintf(format, values);
  va_end(values);
  std::printf("\n");
  std::fflush(stdout);
}

void reportMode(const char* when) {
  DEVMODEA mode{};
  mode.dmSize = sizeof(mode);
  if (EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) {
    say("mode-%s %lux%lux%lu", when, mode.dmPelsWidth, mode.dmPelsHeight, mode.dmBitsPerPel);
  }
}

platform::Pixel patternAt(int x, int y) {
  const auto ux = static_cast<std::uint32_t>(x);
  const auto uy = static_cast<std::uint32_t>(y);
  return platform::makePixel(ux & 255u, uy & 255u, ((ux >> 8) << 4) | ((uy >> 8) << 6));
}

}  // namespace

int main(int argc, char** argv) {
  platform::startProcess(argc, argv);
  if (argc != 5) {
    say("usage: win32-probe full|window SECONDS EXITCODE PAUSEMS");
    return 2;
  }
  const bool full = std::string(argv[1]) == "full";
  const double seconds = std::atof(argv[2]);
  const int exitCode = std::atoi(argv[3]);
  const int pauseMs = std::atoi(argv[4]);
  const int width = full ? 1024 : 384;
  const int height = full ? 768 : 240;

  reportMode("before");
  const bool opened = full ? platform::openFullScreen(width, height) : platform::openFramelessWindow(width, height);
  say("open %d %d", opened ? 1 : 0, platform::surfaceIsOpen() ? 1 : 0);
  reportMode("open");
  if (HWND window = FindWindowA("VelmoraSlidesSurface", nullptr)) {
    RECT r;
    GetWindowRect(window, &r);
    say("window %ld %ld %ld %ld foreground %d", r.left, r.top, r.right, r.bottom,
        GetForegroundWindow() == window ? 1 : 0);
  }

  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) platform::setPixel(x, y, patternAt(x, y));
  }
  platform::setMouse(width / 2, height / 2, !full, false);
  say("ready");

  const double end = platform::clockSeconds() + seconds;
  platform::MouseReading last{-2, -2, -2, -2};
  int keys = 0;
  while (platform::clockSeconds() < end) {
    const double before = platform::clockSeconds();
    platform::pause(pauseMs);
    say("paused %.1f", (platform::clockSeconds() - before) * 1000.0);
    while (platform::pollKey()) {
      ++keys;
      say("key %d", keys);
      const int left = ((keys - 1) % (width / 16)) * 16;
      platform::fillBox(platform::IntRect{left, 0, left + 15, 15}, platform::kWhite);
    }
    const platform::MouseReading m = platform::readMouse();
    if (m.x != last.x || m.y != last.y || m.wheel != last.wheel || m.buttons != last.buttons) {
      say("mouse %d %d %d %d", m.x, m.y, m.wheel, m.buttons);
      last = m;
    }
  }
  if (std::string(argv[3]) == "throw") {
    say("throw");
    throw std::runtime_error("the probe ends by an uncaught exception");
  }
  say("exit %d", exitCode);
  platform::exitProcess(exitCode);
}
