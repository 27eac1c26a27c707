#include "present/preview_mode.h"

#include "platform/process.h"

namespace velmora {

int previewMode(std::int32_t) {
  platform::debugMessage("velmorascr: the preview is not built into this version yet");
  return 1;
}

}  // namespace velmora
