// Small file helpers the unit tests share: a fresh folder of their own and
// a whole file's bytes.
#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>

namespace testfiles {

// A new, empty folder under the system's temporary directory.
inline std::filesystem::path freshDirectory(const std::string& prefix) {
  static std::mt19937_64 generator{std::random_device{}()};
  for (;;) {
    const auto path = std::filesystem::temp_directory_path() / (prefix + std::to_string(generator()));
    if (std::filesystem::create_directory(path)) return path;
  }
}

// The file's bytes, or nothing when it cannot be opened.
inline std::optional<std::string> readBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return std::nullopt;
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return std::move(bytes).str();
}

}  // namespace testfiles
