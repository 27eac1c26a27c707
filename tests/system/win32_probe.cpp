// A helper for the Windows display's system tests: it opens the full-screen
// surface and, at the first key entry, ends by an uncaught exception, so a
// test can see that the display mode is given back on that way out too.
//
//   velmora-win32-probe        prints "ready" once the surface is shown
#include <cstdio>
#include <stdexcept>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/input.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  platform::startProcess(argc, argv);
  platform::openFullScreen(1024, 768);
  platform::fillBox(platform::IntRect{0, 0, 1023, 767}, 0xFF204060u);
  platform::pause(0);
  std::puts("ready");
  std::fflush(stdout);
  while (!platform::pollKey()) platform::pause(20);
  throw std::runtime_error("the probe ends by an uncaught exception, as asked");
}
