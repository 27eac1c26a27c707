// The configuration screen: three sliders, two buttons and a live thumbnail.
#pragma once

namespace velmora {

// Never returns: "Save", "Cancel" or a key end the process with exit code 0.
[[noreturn]] void configMode();

// One frame of the screen, once it is set up: the thumbnail steps and is
// shown in its frame, the mouse is read four times 40 ms apart (the left
// button alone drags the sliders and presses the buttons), and a key
// pressed meanwhile ends the process.
void configFrame();

}  // namespace velmora
