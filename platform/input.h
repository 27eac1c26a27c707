// Keyboard and mouse of the surface's window.
#pragma once

namespace platform {

// A mouse reading in surface pixels. It is available only while the
// surface's window is the active one, not minimised, and the pointer lies in
// its client area; otherwise all four values are -1.
struct MouseReading {
  int x = -1;
  int y = -1;
  int wheel = -1;
  int buttons = -1;  // bit 0 left, bit 1 right, bit 2 middle
};

MouseReading readMouse();

// Moves the pointer to (x, y) in surface pixels, shows or hides it, and
// confines it to the window or not.
void setMouse(int x, int y, bool visible, bool confined);

// Takes one entry out of the window's key buffer: typed characters, keys
// with extended codes and the window's close command each make one entry.
// Returns false when the buffer is empty.
bool pollKey();

}  // namespace platform
