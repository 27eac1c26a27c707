// File writing that the portable standard library cannot do safely.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace platform {

// Writes `bytes` to a new file beside `path` and renames it over `path`, so
// that a reader (or another process that has the old file mapped) sees
// either the old content or the new, never a part. When the new file cannot
// be written, `path` is left as it was and the result is false.
bool replaceFile(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace platform
