// The data blobs linked into the program on Linux (the Windows build keeps
// them as resources of the .scr instead). The build generates the table
// from resources/CMakeLists.txt.
#pragma once

#include <cstdint>
#include <span>

namespace velmora {

struct EmbeddedBlob {
  const char* name;  // "GRAF", "VGAFIX"
  const char* type;  // "CODE"
  const std::uint8_t* begin;
  const std::uint8_t* end;
};

std::span<const EmbeddedBlob> embeddedBlobs();

}  // namespace velmora
