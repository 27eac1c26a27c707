#include "app/mode_selection.h"

#include "common/ascii.h"
#include "common/decimal.h"

namespace velmora {

std::string commandTextFrom(std::span<const std::string> arguments) {
  std::string text;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) text += ' ';
    text += arguments[i];
  }
  foldAsciiToLower(text);
  return text;
}

ModeChoice selectMode(std::string_view commandText) {
  if (commandText.find("/c") != std::string_view::npos) return {RunMode::Config, 0};
  const std::size_t p = commandText.find("/p");
  if (p == std::string_view::npos) return {RunMode::Show, 0};
  const std::int32_t hostWindow = readRoundedInt32(commandText.substr(p + 2));
  if (hostWindow == 0) return {RunMode::Exit, 0};
  return {RunMode::Preview, hostWindow};
}

}  // namespace velmora
