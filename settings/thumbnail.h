// The configuration screen's live thumbnail: every fourth pixel of every
// fourth row of the decoded slide, faded by the frame cycle.
#pragma once

#include <memory>

#include "platform/pixels.h"

namespace velmora {

inline constexpr int kThumbnailWidth = 256;
inline constexpr int kThumbnailHeight = 192;
inline constexpr int kThumbnailStride = 4;  // source pixels per thumbnail pixel, both ways

// Made by the first step, kept until the process ends.
extern std::unique_ptr<platform::Image> thumbnailImage;

// Advances the frame cycle (decoding a new slide when it changes) and
// rewrites every pixel of the thumbnail. While there is no decoded slide
// large enough to sample (1021 x 765 pixels or more), the thumbnail is black.
void stepThumbnail();

// Rewrites the thumbnail from the decoded slide at `fadeLevel` (0..24).
void drawThumbnail(int fadeLevel);

// No thumbnail (for tests).
void resetThumbnail();

}  // namespace velmora
