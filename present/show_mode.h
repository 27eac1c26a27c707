// The full-screen show: slides cross-fade one into the next until the user
// touches the keyboard or the mouse.
#pragma once

namespace velmora {

// Never returns: every way out ends the process with exit code 0.
[[noreturn]] void showMode();

}  // namespace velmora
