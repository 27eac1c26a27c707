// Keyboard and mouse of the surface's window on Linux.
//
// The key buffer holds entries, not key codes: the program only ever asks
// whether one is there. A key press makes one entry (each auto-repeat one
// more), except a plain modifier or lock key, which types nothing on its
// own; the window's close command makes one entry too.
#include <SDL.h>

#include <algorithm>
#include <climits>
#include <cstddef>

#include "platform/canvas.h"
#include "platform/input.h"
#include "platform/sdl/sdl_host.h"

namespace platform {
namespace {

std::size_t gKeyEntries = 0;
int gWheel = 0;  // notches, up positive

bool isPlainModifier(SDL_Keycode key) {
  switch (key) {
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
    case SDLK_LCTRL:
    case SDLK_RCTRL:
    case SDLK_LALT:
    case SDLK_RALT:
    case SDLK_LGUI:
    case SDLK_RGUI:
    case SDLK_MODE:  // AltGr on many layouts
    case SDLK_CAPSLOCK:
    case SDLK_NUMLOCKCLEAR:
    case SDLK_SCROLLLOCK:
      return true;
    default:
      return false;
  }
}

void addWheel(Sint32 notches) {
  const long long sum = static_cast<long long>(gWheel) + notches;
  gWheel = static_cast<int>(std::clamp<long long>(sum, INT_MIN, INT_MAX));
}

void handle(const SDL_Event& event) {
  switch (event.type) {
    case SDL_KEYDOWN:
      if (!isPlainModifier(event.key.keysym.sym)) ++gKeyEntries;
      break;
    case SDL_MOUSEWHEEL:
      addWheel(event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y);
      break;
    case SDL_QUIT:
      ++gKeyEntries;
      break;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) ++gKeyEntries;
      sdl::onWindowEvent(event.window);
      break;
    case SDL_RENDER_TARGETS_RESET:
      sdl::onRenderReset(false);
      break;
    case SDL_RENDER_DEVICE_RESET:
      sdl::onRenderReset(true);
      break;
    default:
      break;
  }
}

}  // namespace

namespace sdl {

void pumpEvents() {
  SDL_Event event;
  while (SDL_PollEvent(&event) != 0) handle(event);
}

bool keyEntryWaiting() { return gKeyEntries > 0; }

void resetInput() {
  gKeyEntries = 0;
  gWheel = 0;
}

}  // namespace sdl

MouseReading readMouse() {
  sdl::serviceSurface();
  SDL_Window* window = sdl::surfaceWindow();
  const Canvas* canvas = backend::activeCanvas();
  if (!window || !canvas) return {};
  // Only the active, visible window reads the mouse, and only while the
  // pointer is over it: SDL keeps the last position it saw when the pointer
  // leaves, so the window's mouse focus decides.
  const Uint32 flags = SDL_GetWindowFlags(window);
  if ((flags & SDL_WINDOW_INPUT_FOCUS) == 0 || (flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) != 0 ||
      SDL_GetMouseFocus() != window) {
    return {};
  }
  int x = 0;
  int y = 0;
  const Uint32 held = SDL_GetMouseState(&x, &y);
  if (x < 0 || y < 0 || x >= canvas->width || y >= canvas->height) return {};
  const int buttons = ((held & SDL_BUTTON_LMASK) != 0 ? 1 : 0) | ((held & SDL_BUTTON_RMASK) != 0 ? 2 : 0) |
                      ((held & SDL_BUTTON_MMASK) != 0 ? 4 : 0);
  return MouseReading{x, y, gWheel, buttons};
}

void setMouse(int x, int y, bool visible, bool confined) {
  SDL_Window* window = sdl::surfaceWindow();
  if (!window) return;
  SDL_WarpMouseInWindow(window, x, y);
  SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
  SDL_SetWindowGrab(window, confined ? SDL_TRUE : SDL_FALSE);
}

bool pollKey() {
  sdl::serviceSurface();
  if (gKeyEntries == 0) return false;
  --gKeyEntries;
  return true;
}

}  // namespace platform
