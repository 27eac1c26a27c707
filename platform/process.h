// The process: its arguments, where its executable lives, its environment,
// and its end.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Called once by main with what the C runtime handed it.
void startProcess(int argc, char** argv);

// The arguments after the program's own path, as the platform's standard
// splitting of the command line yields them (quotes removed).
const std::vector<std::string>& arguments();

// The directory of the running executable, without a trailing separator
// except where it is a root ("C:\" on Windows, "/" on Linux).
std::string executableDirectory();

// The separator between a directory and a file name: '\' or '/'.
char pathSeparator();

// An environment variable; nothing when it is unset.
std::optional<std::string> environmentVariable(std::string_view name);

// A line for the developer: stderr on Linux, the debugger output on Windows.
void debugMessage(std::string_view line);

// Ends the process with `code`, first closing any open surface (which gives
// the display its mode back).
[[noreturn]] void exitProcess(int code);

}  // namespace platform
