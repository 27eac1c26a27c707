// What the pieces of the Windows host share: the surface's window, its key
// buffer and wheel, and the one routine that serves the window (runs its
// messages and shows a changed canvas). Only platform/win32 includes this.
#pragma once

#include <windows.h>

namespace platform::win32 {

// The surface's window; nullptr while no surface is open.
HWND surfaceWindow();

// Presents the canvas when it was drawn on since it was last shown, then
// runs every message waiting for this thread. Called by pause() and by each
// input poll, so the window stays answered and every drawing step shows.
void serveWindow();

// The key buffer: typed characters, keys with extended codes and the
// window's close command each put one entry in; pollKey() takes one out.
bool keyEntryWaiting();
bool takeKeyEntry();

// The wheel position: whole notches turned over the window since it opened.
int wheelPosition();

// Gives the pointer back as it was before setMouse(): visible (the show
// counter restored) and free. Called when the surface closes.
void releasePointer();

// Asks for 1 ms timer resolution once, so short pauses keep their length;
// giveBackTimerResolution() undoes it at the process end.
void useFineTimerResolution();
void giveBackTimerResolution();

}  // namespace platform::win32
