// The frame cycle of the configuration screen's thumbnail and of the
// preview: each slide is shown for 25 frames, fading in from black to 24/32
// of its brightness, then the next slide starts from black.
#pragma once

#include <cstdint>

namespace velmora {

inline constexpr int kFramesPerSlide = 25;

extern std::int32_t previewFrame;  // 1 .. 25N once stepping
extern std::int32_t currentSlide;  // the slide in the DecodedImage, -1 at start

// The initial frame: floor(r * N * 25) for a fresh random r.
void startFrameCycle();

// Advances one frame (wrapping from 25N to 1), decodes the slide when it
// changes, and returns the fade level 0..24.
int advanceFrameCycle();

// A channel value as the fade shows it: (c with its two low bits cleared)
// * level / 32, rounded to nearest with halves to even.
std::uint32_t fadeChannel(std::uint32_t channel, int fadeLevel);

// Both counters back to their start values (for tests).
void resetFrameCycle();

}  // namespace velmora
