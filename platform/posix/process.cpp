// Process services on Linux.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/process.h"

namespace platform {
std::string executableDirectory() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return ".";
  path.resize(static_cast<std::size_t>(n));
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

char pathSeparator() { return '/'; }

std::optional<std::string> environmentVariable(std::string_view name) {
  const char* value = std::getenv(std::string(name).c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

void debugMessage(std::string_view line) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
  std::fflush(stderr);
}

}  // namespace platform
