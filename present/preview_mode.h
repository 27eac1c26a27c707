// The preview: the slides fading in, small, inside the host's window.
#pragma once

#include <cstdint>

namespace velmora {

// Runs until the host destroys its window; returns the exit code.
int previewMode(std::int32_t hostWindow);

}  // namespace velmora
