// The picture the display probe draws, through the same drawing operations
// the program uses. The system tests draw it once more on an in-memory
// surface and compare that, pixel for pixel, with what the display server
// shows.
#pragma once

namespace probe {

// Draws the scene on the open surface, which is expected to be new (black).
// It fits a 384 x 240 surface; on a larger one the rest stays black.
void drawScene();

}  // namespace probe
