// The drawing surface: one 32-bit page, full screen or in a small frameless
// window, and the drawing operations on it.
//
// Opening and closing belong to the target's display backend (SDL2 on Linux,
// GDI on Windows, an in-memory surface in the unit tests). The drawing
// operations are portable code shared by every backend (platform/canvas.cpp),
// so each pixel rule exists once. Everything drawn is shown on the display
// continuously: at the latest during the next pause or input poll.
#pragma once

#include <memory>
#include <string_view>

#include "platform/pixels.h"

namespace platform {

// Opens the full-screen surface (width x height, 32 bits per pixel, one
// page), changing the display mode; when the mode cannot be set, a window of
// that size is used instead. A new surface is black. Returns false only when
// no surface could be opened at all.
bool openFullScreen(int width, int height);

// Opens a frameless window of width x height, centred on the primary display
// and in the foreground, that the user cannot switch to full screen.
bool openFramelessWindow(int width, int height);

bool surfaceIsOpen();

// Closes the surface and gives the display back the mode it had. Harmless
// when nothing is open. The process exit calls it.
void closeSurface();

// --- drawing (coordinates relative to the viewport, clipped to it) ---------
void clearSurface();
void setPixel(int x, int y, Pixel colour);
void drawBox(IntRect box, Pixel colour);
void fillBox(IntRect box, Pixel colour);

// Later drawing is relative to the viewport's top-left corner and clipped to
// it; a 1-pixel border in `borderColour` is drawn just outside it.
void setViewport(IntRect viewport, Pixel borderColour);
void resetViewport();

// An image of width x height in the surface's pixel format with its header
// word written and every pixel 0. None (nullptr) while no surface is open,
// for a size of 0 or less or beyond the header word's range, or when memory
// runs out.
std::unique_ptr<Image> createImage(int width, int height);

// Blends `image` onto the surface with its top-left pixel at (x, y) and the
// constant alpha `alpha` (0 ... 255): a = 0 draws nothing; otherwise, with
// A = a + 1, every colour channel becomes old + floor((img - old) * A / 256),
// and image pixels whose low 24 bits are 0xFF00FF are skipped. The size comes
// from the image's header word; the surface clips.
void blendImage(const Image& image, int x, int y, int alpha);

// Copies `image` opaquely to (x, y) of the current viewport, clipped by it.
void copyImage(const Image& image, int x, int y);

// One line of the display's own console text at the top-left text cell, in
// its default colours, followed by a new line.
void writeConsoleLine(std::string_view text);

}  // namespace platform
