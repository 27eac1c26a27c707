// The configuration screen: three sliders, two buttons and a live thumbnail.
#pragma once

namespace velmora {

// Never returns: "Save", "Cancel" or a key end the process with exit code 0.
[[noreturn]] void configMode();

}  // namespace velmora
