// How the parts of the SDL2 backend meet. Only the files of platform/sdl
// include this header; the rest of the program sees display.h, input.h,
// clock.h and process.h.
//
//   sdl_display.cpp  the surface: its window, the display mode, showing the
//                    canvas
//   sdl_input.cpp    the window's events: the key buffer, the wheel, the
//                    mouse reading
//   sdl_time.cpp     the clock and the pause
//   sdl_process.cpp  the stop signals, the service step, the process end
//   sdl_x11.cpp      the little that is asked of the X server directly
//
// Everything runs on the program's one thread. The window is served (its
// events taken, the canvas shown) whenever the program pauses or polls.
#pragma once

#include <SDL.h>

namespace platform::sdl {

// The open surface's window; nullptr while none is open.
SDL_Window* surfaceWindow();

// Shows the canvas when it was drawn on since it was last shown or when the
// window lost its picture; otherwise does nothing.
void presentIfNeeded();

// What the surface does with a window event: shows its picture again when
// it was uncovered, keeps its size when a window manager tries to change it.
void onWindowEvent(const SDL_WindowEvent& event);
// The renderer lost its picture (SDL_RENDER_TARGETS_RESET) or its textures
// (SDL_RENDER_DEVICE_RESET).
void onRenderReset(bool deviceLost);

// Marks a window that is not mapped yet as full screen for the X window
// manager (sdl_x11.cpp); false when the window is not an X11 one.
bool requestFullScreenState(SDL_Window* window);

// Takes every waiting event of the window.
void pumpEvents();
// Whether the key buffer holds an entry (without taking it).
bool keyEntryWaiting();
// A new surface starts with an empty key buffer and the wheel at 0.
void resetInput();

// One service step, made by every pause and poll: ends the process with
// exit code 0 when a stop signal arrived, takes the window's events and
// shows the canvas when it changed.
void serviceSurface();

// From now on SIGTERM, SIGINT and SIGHUP end the process with exit code 0 at
// the next service step, after the display got its mode back.
void watchStopSignals();

}  // namespace platform::sdl
