// Data built into the executable: the slide archive and the glyph font.
// On Windows they are resources of the .scr; on Linux, blobs linked into
// the program and found by the same name and type.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace platform {

// The bytes of the resource `name` of type `type` (for example "GRAF" of
// type "CODE"). They stay valid and unchanged for the life of the process.
// Empty when the executable carries no such resource.
std::span<const std::uint8_t> findResource(std::string_view name, std::string_view type);

}  // namespace platform
