// A small program for the display's system tests: it opens the surface as
// told, draws a known scene, and then writes down every input it receives,
// one line each, into a report file (a file rather than stdout, which is
// awkward to read from a program running under Wine).
//
//   velmora-display-probe full|window REPORT [EXIT_CODE [KEYS]]
//       Opens the 1024 x 768 full-screen surface (and puts the pointer in
//       its middle, hidden) or the 384 x 240 frameless window, draws the
//       scene and reports:
//         open <1|0> <width> <height>   the result of opening
//         ready                         the scene is on the display, and
//                                       REPORT.pixels holds the surface's
//                                       memory (32-bit little-endian words,
//                                       row by row)
//         mouse <x> <y> <wheel> <mask>  each mouse reading that differs
//                                       from the one before
//         key <n>                       the n-th key entry taken
//         exit <code>                   just before ending
//       The KEYS-th key entry (default 1) ends it with EXIT_CODE (default 0).
//
//   velmora-display-probe long-pause REPORT
//       Opens the 384 x 240 window, reports "ready", pauses for a minute,
//       which a key entry ends early, and then reports
//         paused <milliseconds>
//       and ends with exit code 0.
//
//   velmora-display-probe present-timing REPORT [FRAMES]
//       Opens the full-screen surface and, FRAMES times (default 200),
//       changes every pixel, shows them and pauses 20 ms, then reports
//         present-ms <ms> cpu-ms-per-frame <ms> cpu-share <fraction>
//       (the time one full frame takes to show, the process's processor
//       time per frame, and that time over the elapsed time) and ends with
//       exit code 0.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/input.h"
#include "platform/process.h"
#include "tests/system/probe_scene.h"

namespace {

std::FILE* gReport = nullptr;

void report(const std::string& line) {
  std::fprintf(gReport, "%s\n", line.c_str());
  std::fflush(gReport);
}

int numberArgument(const std::vector<std::string>& args, std::size_t index, int fallback) {
  if (args.size() <= index) return fallback;
  return std::atoi(args[index].c_str());
}

// The surface's memory as drawn, row by row, one 32-bit little-endian word
// per pixel: what the display should show.
void writeCanvas(const std::string& path) {
  const platform::Canvas* canvas = platform::backend::activeCanvas();
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!canvas || !out) {
    if (out) std::fclose(out);
    return;
  }
  std::vector<unsigned char> bytes;
  bytes.reserve(static_cast<std::size_t>(canvas->width) * static_cast<std::size_t>(canvas->height) * 4u);
  for (int y = 0; y < canvas->height; ++y) {
    for (int x = 0; x < canvas->width; ++x) {
      const platform::Pixel p = canvas->pixels[static_cast<std::ptrdiff_t>(y) * canvas->pitch + x];
      for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<unsigned char>((p >> shift) & 0xFFu));
    }
  }
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
}

[[noreturn]] void watchInput(int exitCode, int keysToEnd) {
  platform::MouseReading last{-2, -2, -2, -2};
  int keys = 0;
  for (;;) {
    platform::pause(20);
    const platform::MouseReading m = platform::readMouse();
    if (m.x != last.x || m.y != last.y || m.wheel != last.wheel || m.buttons != last.buttons) {
      report("mouse " + std::to_string(m.x) + " " + std::to_string(m.y) + " " + std::to_string(m.wheel) + " " +
             std::to_string(m.buttons));
      last = m;
    }
    while (platform::pollKey()) {
      ++keys;
      report("key " + std::to_string(keys));
      if (keys >= keysToEnd) {
        report("exit " + std::to_string(exitCode));
        platform::exitProcess(exitCode);
      }
    }
  }
}

[[noreturn]] void timePresents(int frames) {
  const bool opened = platform::openFullScreen(1024, 768);
  report("open " + std::to_string(opened ? 1 : 0) + " 1024 768");
  platform::pause(0);
  const int count = frames > 0 ? frames : 1;
  double presenting = 0.0;
  const std::clock_t cpuStart = std::clock();
  const double start = platform::clockSeconds();
  for (int i = 0; i < count; ++i) {
    // As in a cross-fade step: every pixel changes, the next pause shows
    // them, and the rest of a 20 ms pause has nothing more to show.
    const auto level = static_cast<std::uint32_t>(i & 0xFF);
    platform::fillBox(platform::IntRect{0, 0, 1023, 767}, platform::makePixel(level, 255u - level, level));
    const double before = platform::clockSeconds();
    platform::pause(0);
    presenting += platform::clockSeconds() - before;
    platform::pause(20);
  }
  const double wall = platform::clockSeconds() - start;
  const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  char line[160];
  std::snprintf(line, sizeof line, "present-ms %.3f cpu-ms-per-frame %.3f cpu-share %.3f", presenting / count * 1000.0,
                cpu / count * 1000.0, cpu / wall);
  report(line);
  platform::exitProcess(0);
}

[[noreturn]] void pauseLong() {
  const bool opened = platform::openFramelessWindow(384, 240);
  report("open " + std::to_string(opened ? 1 : 0) + " 384 240");
  report("ready");
  const double start = platform::clockSeconds();
  platform::pause(60000);
  report("paused " + std::to_string(static_cast<long>((platform::clockSeconds() - start) * 1000.0)));
  platform::exitProcess(0);
}

}  // namespace

int main(int argc, char** argv) {
  platform::startProcess(argc, argv);
  const auto& args = platform::arguments();
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: velmora-display-probe full|window|long-pause|present-timing REPORT [EXIT_CODE [KEYS]]\n");
    return 2;
  }
  gReport = std::fopen(args[1].c_str(), "w");
  if (!gReport) {
    std::fprintf(stderr, "velmora-display-probe: cannot write %s\n", args[1].c_str());
    return 2;
  }
  const std::string& mode = args[0];
  if (mode == "present-timing") timePresents(numberArgument(args, 2, 200));
  if (mode == "long-pause") pauseLong();

  const bool full = mode == "full";
  const int width = full ? 1024 : 384;
  const int height = full ? 768 : 240;
  const bool opened = full ? platform::openFullScreen(width, height) : platform::openFramelessWindow(width, height);
  report("open " + std::to_string(opened ? 1 : 0) + " " + std::to_string(width) + " " + std::to_string(height));
  // As the show does: the pointer to the middle, hidden.
  if (full) platform::setMouse(512, 384, false, false);
  probe::drawScene();
  platform::pause(0);  // shows it
  writeCanvas(args[1] + ".pixels");
  report("ready");
  watchInput(numberArgument(args, 2, 0), numberArgument(args, 3, 1));
}
