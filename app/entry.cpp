#include "app/entry.h"

#include "app/mode_selection.h"
#include "platform/process.h"
#include "present/preview_mode.h"
#include "present/show_mode.h"
#include "settings/config_mode.h"

namespace velmora {

void runProcess(std::span<const std::string> arguments) {
  const ModeChoice choice = selectMode(commandTextFrom(arguments));
  switch (choice.mode) {
    case RunMode::Config:
      configMode();
    case RunMode::Show:
      showMode();
    case RunMode::Preview:
      platform::exitProcess(previewMode(choice.hostWindow));
    case RunMode::Exit:
      break;
  }
  platform::exitProcess(0);
}

}  // namespace velmora
