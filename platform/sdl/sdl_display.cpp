// The surface on Linux: an SDL2 window, either full screen in a display mode
// of exactly the surface's size or a frameless window, showing the canvas
// through one streaming texture.
//
// The canvas is plain memory that the portable drawing code writes into. It
// is shown whenever it changed, at the program's next pause or input poll,
// and never otherwise: an unchanged picture costs nothing.
#include <SDL.h>

#include <cstdio>
#include <new>
#include <vector>

#include "platform/canvas.h"
#include "platform/display.h"
#include "platform/process.h"
#include "platform/sdl/sdl_host.h"

namespace platform {
namespace {

constexpr const char* kWindowTitle = "Velmora Slides";

enum class SurfaceKind { FullScreen, Window };

struct Surface {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  SurfaceKind kind = SurfaceKind::Window;
  std::vector<Pixel> memory;
  Canvas canvas;
  bool pictureLost = false;  // the window must be shown again, changed or not
};

Surface gSurface;

// The one message for a display that cannot be had at all; the process
// then ends with exit code 1 rather than run on with nothing to show.
[[noreturn]] void failWithoutSurface(const char* what) {
  std::fprintf(stderr, "Velmora Slides: no display surface could be opened (%s: %s)\n", what, SDL_GetError());
  std::fflush(stderr);
  exitProcess(1);
}

void startVideo() {
  if (SDL_WasInit(SDL_INIT_VIDEO) != 0) return;
  // The program handles its stop signals itself (sdl_process.cpp), and the
  // window's close command is one key entry, not a request to quit.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  // The picture is made by the processor and only needs copying to the
  // screen, which SDL's software renderer does straight into the window
  // system's shared-memory image. An OpenGL renderer without a graphics
  // card (software OpenGL, a virtual X server) costs three to four times the
  // processor time per frame, and a quarter of a second at start. The
  // environment's SDL_RENDER_DRIVER and SDL_FRAMEBUFFER_ACCELERATION still
  // take precedence.
  SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) failWithoutSurface("video");
  // Without a display SDL falls back to drivers that draw into memory only.
  // Nobody would see the show, and it could never end by the user's hand:
  // that is no surface, unless someone asked for such a driver by name.
  const char* driver = SDL_GetCurrentVideoDriver();
  const bool invisible = driver && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0);
  if (invisible && !SDL_getenv("SDL_VIDEODRIVER")) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    SDL_SetError("no display found");
    failWithoutSurface("video");
  }
}

bool isFullScreenAt(SDL_Window* window, int width, int height) {
  if ((SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) == 0) return false;
  SDL_DisplayMode current;
  const int display = SDL_GetWindowDisplayIndex(window);
  return display >= 0 && SDL_GetCurrentDisplayMode(display, &current) == 0 && current.w == width &&
         current.h == height;
}

// A window over the whole of a display that already runs at its size,
// marked full screen for the window manager before it is mapped. SDL's own
// switch to full screen, made once the window is mapped, waits up to 100 ms
// for the window manager to move and resize the window, which a window of
// the display's size and place never needs, and without a window manager
// nothing moves it at all: each time the full 100 ms before the first
// picture. Nothing (falling back to SDL's way) when this is no X11 display.
SDL_Window* createDesktopSizedWindow(int width, int height) {
  SDL_Window* window =
      SDL_CreateWindow(kWindowTitle, 0, 0, width, height, SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
  if (!window) return nullptr;
  if (!sdl::requestFullScreenState(window)) {
    SDL_DestroyWindow(window);
    return nullptr;
  }
  SDL_ShowWindow(window);
  return window;
}

// Full screen needs a display mode of exactly width x height on the primary
// display: a larger one would stretch the picture or leave a part of the
// screen unserved. Without one, or when the mode cannot be set, the surface
// is a plain window of that size at the top-left corner.
//
// When the display already runs in that mode there is nothing to switch: the
// window covers the desktop in its own mode. The picture is the same, and
// the window gets the keyboard at once, where after a mode change SDL holds
// the focus back for 200 ms, which the surface waits out before the
// program's first mouse reading (awaitInputFocus).
SDL_Window* createFullScreenWindow(int width, int height) {
  const SDL_DisplayMode wanted{0, width, height, 0, nullptr};  // any format, default refresh rate
  SDL_DisplayMode closest;
  const bool modeExists = SDL_GetClosestDisplayMode(0, &wanted, &closest) != nullptr && closest.w == width &&
                          closest.h == height;
  SDL_DisplayMode desktop;
  const bool desktopFits = SDL_GetDesktopDisplayMode(0, &desktop) == 0 && desktop.w == width && desktop.h == height;
  if (desktopFits) {
    if (SDL_Window* window = createDesktopSizedWindow(width, height)) return window;
  }
  if (modeExists || desktopFits) {
    const Uint32 fullScreen = desktopFits ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_FULLSCREEN;
    // Placed at (0, 0): centring it would race with the mode change on some
    // X servers.
    if (SDL_Window* window = SDL_CreateWindow(kWindowTitle, 0, 0, width, height, fullScreen)) {
      if (isFullScreenAt(window, width, height)) return window;
      SDL_SetWindowFullscreen(window, 0);
      SDL_SetWindowPosition(window, 0, 0);
      return window;
    }
  }
  return SDL_CreateWindow(kWindowTitle, 0, 0, width, height, 0);
}

// Frameless, not resizable, centred on the primary display, raised and
// given the keyboard.
SDL_Window* createFramelessWindow(int width, int height) {
  SDL_Rect bounds{0, 0, width, height};
  SDL_GetDisplayBounds(0, &bounds);
  const int x = bounds.x + (bounds.w - width) / 2;
  const int y = bounds.y + (bounds.h - height) / 2;
  SDL_Window* window = SDL_CreateWindow(kWindowTitle, x, y, width, height, SDL_WINDOW_BORDERLESS);
  if (window) {
    SDL_RaiseWindow(window);
    SDL_SetWindowInputFocus(window);
  }
  return window;
}

// The canvas's words as they are: 0xXXRRGGBB, the top byte not part of
// what is seen. SDL calls that layout RGB888; its pixels copy to an X
// server's 24-bit screen without a conversion, which makes a present about
// a sixth cheaper than one with an alpha channel to drop.
SDL_Texture* createTexture(SDL_Renderer* renderer, int width, int height) {
  SDL_Texture* texture =
      SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height);
  if (texture) SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
  return texture;
}

// A new window gets the keyboard a moment after it appears (X11 servers
// report focus changes late, SDL holds them back a little longer around
// mode changes). The program reads the mouse right after opening, and that
// reading needs the focus, so the surface is ready only once it has it, or
// after a short while in which it did not come (another window holds it).
void awaitInputFocus(SDL_Window* window) {
  constexpr Uint32 kLongestWaitMs = 600;
  const Uint32 start = SDL_GetTicks();
  while ((SDL_GetWindowFlags(window) & SDL_WINDOW_INPUT_FOCUS) == 0 && SDL_GetTicks() - start < kLongestWaitMs) {
    SDL_Delay(5);
    sdl::pumpEvents();
  }
}

void present(Surface& s) {
  if (s.canvas.dirty) {
    SDL_UpdateTexture(s.texture, nullptr, s.canvas.pixels, s.canvas.pitch * static_cast<int>(sizeof(Pixel)));
    s.canvas.dirty = false;
  }
  s.pictureLost = false;
  // Drawn 1:1 at the top-left corner, never scaled, so that a mouse reading
  // in window pixels is one in surface pixels.
  const SDL_Rect whole{0, 0, s.canvas.width, s.canvas.height};
  int outputWidth = 0;
  int outputHeight = 0;
  SDL_GetRendererOutputSize(s.renderer, &outputWidth, &outputHeight);
  if (outputWidth != s.canvas.width || outputHeight != s.canvas.height) {
    // Whatever of the window lies beyond the surface is black.
    SDL_SetRenderDrawColor(s.renderer, 0, 0, 0, 255);
    SDL_RenderClear(s.renderer);
  }
  SDL_RenderCopy(s.renderer, s.texture, nullptr, &whole);
  SDL_RenderPresent(s.renderer);
}

bool openSurface(SurfaceKind kind, int width, int height) {
  closeSurface();
  if (width <= 0 || height <= 0) return false;
  std::vector<Pixel> memory;
  try {
    memory.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), kOpaqueBlack);
  } catch (const std::bad_alloc&) {
    return false;
  }
  sdl::watchStopSignals();
  startVideo();
  Surface s;
  s.kind = kind;
  s.window = kind == SurfaceKind::FullScreen ? createFullScreenWindow(width, height)
                                             : createFramelessWindow(width, height);
  if (!s.window) failWithoutSurface("window");
  // No vsync: a present must not wait for the display.
  s.renderer = SDL_CreateRenderer(s.window, -1, 0);
  if (!s.renderer) failWithoutSurface("renderer");
  s.texture = createTexture(s.renderer, width, height);
  if (!s.texture) failWithoutSurface("texture");
  s.memory = std::move(memory);
  s.canvas.pixels = s.memory.data();
  s.canvas.width = width;
  s.canvas.height = height;
  s.canvas.pitch = width;
  s.canvas.resetViewport();
  s.canvas.dirty = true;
  gSurface = std::move(s);
  sdl::resetInput();
  // The new surface shows black at once, not at the first pause.
  present(gSurface);
  awaitInputFocus(gSurface.window);
  return true;
}

}  // namespace

bool openFullScreen(int width, int height) { return openSurface(SurfaceKind::FullScreen, width, height); }

bool openFramelessWindow(int width, int height) { return openSurface(SurfaceKind::Window, width, height); }

bool surfaceIsOpen() { return gSurface.window != nullptr; }

void closeSurface() {
  if (!gSurface.window) return;
  SDL_DestroyTexture(gSurface.texture);
  SDL_DestroyRenderer(gSurface.renderer);
  // Destroying a full-screen window gives the display its mode back; ending
  // the video subsystem makes sure of it and lets the X connection go.
  SDL_DestroyWindow(gSurface.window);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  gSurface = Surface{};
  sdl::resetInput();
}

namespace backend {
Canvas* activeCanvas() { return gSurface.window ? &gSurface.canvas : nullptr; }
}  // namespace backend

namespace sdl {

SDL_Window* surfaceWindow() { return gSurface.window; }

void presentIfNeeded() {
  if (gSurface.window && (gSurface.canvas.dirty || gSurface.pictureLost)) present(gSurface);
}

void onWindowEvent(const SDL_WindowEvent& event) {
  if (!gSurface.window || event.windowID != SDL_GetWindowID(gSurface.window)) return;
  switch (event.event) {
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_RESTORED:
      gSurface.pictureLost = true;
      break;
    case SDL_WINDOWEVENT_MAXIMIZED:
      // The surface has one size; a window manager's maximise is undone.
      if (gSurface.kind == SurfaceKind::Window) SDL_RestoreWindow(gSurface.window);
      gSurface.pictureLost = true;
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      // So is a full-screen toggle or a resize from outside.
      if (gSurface.kind == SurfaceKind::Window &&
          (event.data1 != gSurface.canvas.width || event.data2 != gSurface.canvas.height)) {
        if ((SDL_GetWindowFlags(gSurface.window) & SDL_WINDOW_FULLSCREEN) != 0) {
          SDL_SetWindowFullscreen(gSurface.window, 0);
        }
        SDL_SetWindowSize(gSurface.window, gSurface.canvas.width, gSurface.canvas.height);
      }
      gSurface.pictureLost = true;
      break;
    default:
      break;
  }
}

void onRenderReset(bool deviceLost) {
  if (!gSurface.window) return;
  if (deviceLost) {
    // The textures are gone with the device; make the one we need again.
    SDL_DestroyTexture(gSurface.texture);
    gSurface.texture = createTexture(gSurface.renderer, gSurface.canvas.width, gSurface.canvas.height);
    if (!gSurface.texture) failWithoutSurface("texture");
    gSurface.canvas.dirty = true;
  }
  gSurface.pictureLost = true;
}

}  // namespace sdl
}  // namespace platform
