// The blobs linked into the program on Linux, found by name and type.
#include <cstring>

#include "platform/resources.h"
#include "resources/blobs.h"

namespace platform {

std::span<const std::uint8_t> findResource(std::string_view name, std::string_view type) {
  for (const velmora::EmbeddedBlob& blob : velmora::embeddedBlobs()) {
    if (name == blob.name && type == blob.type) return {blob.begin, blob.end};
  }
  return {};
}

}  // namespace platform
