// What the SDL2 backend asks of the X server directly, apart from SDL (and
// apart from the other files of the backend, which so stay free of Xlib's
// macros).
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "platform/sdl/sdl_host.h"

namespace platform::sdl {

bool requestFullScreenState(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) return false;
  Display* display = info.info.x11.display;
  // The window's initial state, which a window manager reads when the
  // window is mapped (the Extended Window Manager Hints).
  const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
  const Atom fullScreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
  XChangeProperty(display, info.info.x11.window, state, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&fullScreen), 1);
  XFlush(display);
  return true;
}

}  // namespace platform::sdl
