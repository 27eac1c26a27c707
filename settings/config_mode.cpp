#include "settings/config_mode.h"

#include "platform/process.h"

namespace velmora {

void configMode() {
  platform::debugMessage("velmorascr: the configuration screen is not built into this version yet");
  platform::exitProcess(1);
}

}  // namespace velmora
