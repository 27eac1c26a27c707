// The end of the process on Linux, by the program's own wish or by a stop
// signal.
//
// Screensaver hosts stop their programs with SIGTERM; a terminal sends
// SIGINT or SIGHUP. Each of them ends the program as a user's key would:
// the display gets its mode back and the exit code is 0. The handler only
// notes the signal; the next pause or poll acts on it, outside the handler,
// where closing the display is safe.
#include <SDL.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/display.h"
#include "platform/process.h"
#include "platform/sdl/sdl_host.h"

namespace platform {
namespace {

volatile std::sig_atomic_t gStopRequested = 0;

extern "C" void noteStopSignal(int /*signal*/) { gStopRequested = 1; }

void watch(int signal) {
  struct sigaction current {};
  if (sigaction(signal, nullptr, &current) != 0) return;
  // A signal the parent told us to ignore (nohup) stays ignored.
  if (current.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = &noteStopSignal;
  sigemptyset(&action.sa_mask);
  // The first signal is noted; a second one, should the program not get to
  // a pause in time, ends it the default way.
  action.sa_flags = static_cast<int>(static_cast<unsigned>(SA_RESTART) | static_cast<unsigned>(SA_RESETHAND));
  sigaction(signal, &action, nullptr);
}

}  // namespace

namespace sdl {

void watchStopSignals() {
  static bool watching = false;
  if (watching) return;
  watching = true;
  watch(SIGTERM);
  watch(SIGINT);
  watch(SIGHUP);
}

void serviceSurface() {
  if (gStopRequested != 0) exitProcess(0);
  if (!surfaceWindow()) return;
  pumpEvents();
  presentIfNeeded();
}

}  // namespace sdl

void exitProcess(int code) {
  closeSurface();
  SDL_Quit();
  std::fflush(nullptr);
  std::exit(code);
}

}  // namespace platform
