// From the command line to one run mode.
//
// The arguments after the program's path are joined with single blanks and
// folded to lower case; then "/c" anywhere gives the configuration screen,
// otherwise no "/p" gives the show, otherwise the number after the first
// "/p" is the host window of the preview (0: nothing to run).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

enum class RunMode {
  Show,     // the full-screen slideshow
  Config,   // the configuration screen
  Preview,  // the preview inside the host's window
  Exit,     // "/p" without a usable handle: end at once with exit code 0
};

struct ModeChoice {
  RunMode mode = RunMode::Show;
  std::int32_t hostWindow = 0;  // PreviewMode only
  bool operator==(const ModeChoice&) const = default;
};

// The arguments joined with exactly one blank between neighbours and folded
// to lower case (ASCII letters only).
std::string commandTextFrom(std::span<const std::string> arguments);

ModeChoice selectMode(std::string_view commandText);

}  // namespace velmora
