// Process services on Windows.
#include <windows.h>

#include <string>

#include "platform/process.h"

namespace platform {
std::string executableDirectory() {
  // The module's full file name cut before its last backslash; a bare drive
  // ("C:") gets its backslash back, so the root keeps one.
  char buffer[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, MAX_PATH);
  std::string path(buffer, n);
  const std::size_t cut = path.rfind('\\');
  std::string directory = cut == std::string::npos ? std::string() : path.substr(0, cut);
  if (directory.size() == 2 && directory[1] == ':') directory += '\\';
  return directory;
}

char pathSeparator() { return '\\'; }

std::optional<std::string> environmentVariable(std::string_view name) {
  const std::string key(name);
  const DWORD needed = GetEnvironmentVariableA(key.c_str(), nullptr, 0);
  if (needed == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string();
  }
  std::string value(needed, '\0');
  const DWORD n = GetEnvironmentVariableA(key.c_str(), value.data(), needed);
  value.resize(n);
  return value;
}

void debugMessage(std::string_view line) {
  std::string text(line);
  text += "\n";
  OutputDebugStringA(text.c_str());
}

}  // namespace platform
