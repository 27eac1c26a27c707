#include "present/show_mode.h"

#include "platform/process.h"

namespace velmora {

void showMode() {
  platform::debugMessage("velmorascr: the show is not built into this version yet");
  platform::exitProcess(1);
}

}  // namespace velmora
