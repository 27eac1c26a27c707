// The process entry: picks the mode from the command line and runs it.
#pragma once

#include <span>
#include <string>

namespace velmora {

// Runs exactly one mode and ends the process through platform::exitProcess
// with the mode's exit code.
[[noreturn]] void runProcess(std::span<const std::string> arguments);

}  // namespace velmora
