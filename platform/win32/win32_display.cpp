// The surface on Windows: a 32-bit top-down DIB section that the canvas
// points into, selected into a memory DC and copied to a popup window on
// WM_PAINT. The window is served from the program's own thread, inside the
// pauses and the input polls (win32::serveWindow), so nothing runs behind the
// program's back.
//
// Full screen changes the display mode to width x height x 32 and covers the
// screen with a topmost popup; the mode is given back by closeSurface(), and
// so on every way out: the process exit closes the surface first, and an
// uncaught exception or a fault gives the mode back before the process dies.
// When no surface can be had at all, the user is told in a message box and
// the process ends with exit code 1.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>

#include "platform/canvas.h"
#include "platform/display.h"
#include "platform/process.h"
#include "platform/win32/win32_host.h"

namespace platform {
namespace {

constexpr const char* kClassName = "VelmoraSlidesSurface";
constexpr const char* kTitle = "Velmora Slides";
constexpr const char* kNoDisplayMessage = "Velmora Slides cannot open its display.";

struct Surface {
  HWND window = nullptr;
  HDC memoryDc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previousBitmap = nullptr;
  Canvas canvas;
  bool fullScreen = false;
  bool modeChanged = false;  // the display mode is ours; give it back on close
  DEVMODEA modeBefore{};     // the mode it had before (dmFields 0: unknown)
  bool closing = false;
  int clientWidth = 0;  // the window's client area, at least the canvas
  int clientHeight = 0;
  long long keyEntries = 0;
  long long wheelDelta = 0;  // WM_MOUSEWHEEL units, 120 to a notch
};

Surface& surface() {
  static Surface s;
  return s;
}

void addKeyEntry() {
  Surface& s = surface();
  if (s.keyEntries < std::numeric_limits<long long>::max()) ++s.keyEntries;
}

// Keys that make no WM_CHAR but have an extended code of their own.
bool isExtendedKey(WPARAM key) {
  switch (key) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE:
      return true;
    default:
      return key >= VK_F1 && key <= VK_F24;
  }
}

bool altHeld(LPARAM keyData) { return (static_cast<unsigned long>(keyData) & (1ul << 29)) != 0; }

void paint(HWND window) {
  Surface& s = surface();
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  if (dc && s.memoryDc) {
    const int w = s.canvas.width;
    const int h = s.canvas.height;
    BitBlt(dc, 0, 0, w, h, s.memoryDc, 0, 0, SRCCOPY);
    // A screen larger than the surface shows black beyond it.
    auto* black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    if (s.clientWidth > w) {
      const RECT right{w, 0, s.clientWidth, s.clientHeight};
      FillRect(dc, &right, black);
    }
    if (s.clientHeight > h) {
      const RECT below{0, h, w, s.clientHeight};
      FillRect(dc, &below, black);
    }
    s.canvas.dirty = false;
  }
  if (dc) EndPaint(window, &ps);
}

LRESULT CALLBACK surfaceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Surface& s = surface();
  switch (message) {
    case WM_PAINT:
      paint(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel
    case WM_CHAR:
    case WM_SYSCHAR:  // a character typed with Alt held
      addKeyEntry();
      return 0;
    case WM_KEYDOWN:
      if (isExtendedKey(wParam)) addKeyEntry();
      return 0;
    case WM_SYSKEYDOWN:
      // Alt+F4 is the close command: DefWindowProc turns it into SC_CLOSE,
      // which makes its one entry.
      if (isExtendedKey(wParam) && !(wParam == VK_F4 && altHeld(lParam))) addKeyEntry();
      break;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0u) {
        case SC_CLOSE:
          addKeyEntry();
          return 0;
        case SC_SCREENSAVE:
          if (s.fullScreen) return 0;  // this is the screen saver already
          break;
        case SC_KEYMENU:  // no menu to open
        case SC_MAXIMIZE:
        case SC_SIZE:
          return 0;
        default:
          break;
      }
      break;
    case WM_CLOSE:
      addKeyEntry();  // the window stays; the program decides
      return 0;
    case WM_MOUSEWHEEL: {
      constexpr long long limit = static_cast<long long>(std::numeric_limits<int>::max()) * WHEEL_DELTA;
      s.wheelDelta = std::clamp(s.wheelDelta + GET_WHEEL_DELTA_WPARAM(wParam), -limit, limit);
      return 0;
    }
    case WM_WINDOWPOSCHANGING: {
      // The surface has one size: no resizing, no maximising.
      auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
      if (window == s.window && !(pos->flags & SWP_NOSIZE)) {
        pos->cx = s.clientWidth;
        pos->cy = s.clientHeight;
      }
      return 0;
    }
    case WM_DESTROY:
      if (window == s.window && !s.closing) {
        // Destroyed from outside: the program is asked to end like by the
        // close command.
        s.window = nullptr;
        addKeyEntry();
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

bool registerClass() {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSA wc{};
  wc.style = CS_OWNDC;
  wc.lpfnWndProc = surfaceProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kClassName;
  registered = RegisterClassA(&wc) != 0;
  return registered;
}

void prepareProcess() {
  // Window sizes and pointer positions in real pixels, not scaled ones.
  static bool done = false;
  if (done) return;
  done = true;
  SetProcessDPIAware();
}

// The canvas memory: a top-down 32-bit DIB section in a memory DC. Black.
bool createCanvas(Surface& s, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  s.bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!s.bitmap || !bits) return false;
  s.memoryDc = CreateCompatibleDC(nullptr);
  if (!s.memoryDc) return false;
  s.previousBitmap = SelectObject(s.memoryDc, s.bitmap);
  auto* pixels = static_cast<Pixel*>(bits);
  std::memset(pixels, 0, static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * sizeof(Pixel));
  s.canvas.pixels = pixels;
  s.canvas.width = width;
  s.canvas.height = height;
  s.canvas.pitch = width;
  s.canvas.resetViewport();
  s.canvas.dirty = true;
  return true;
}

void releaseCanvas(Surface& s) {
  if (s.memoryDc) {
    if (s.previousBitmap) SelectObject(s.memoryDc, s.previousBitmap);
    DeleteDC(s.memoryDc);
  }
  if (s.bitmap) DeleteObject(s.bitmap);
  s.memoryDc = nullptr;
  s.bitmap = nullptr;
  s.previousBitmap = nullptr;
  s.canvas = Canvas{};
}

DEVMODEA currentMode() {
  DEVMODEA mode{};
  mode.dmSize = sizeof(mode);
  if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) mode.dmFields = 0;
  return mode;
}

bool sameMode(const DEVMODEA& a, const DEVMODEA& b) {
  return a.dmPelsWidth == b.dmPelsWidth && a.dmPelsHeight == b.dmPelsHeight && a.dmBitsPerPel == b.dmBitsPerPel;
}

// The registry's mode is the usual way back. The mode the display had before
// may differ from it (someone else set a temporary one); then that mode
// itself is set again, without touching the registry.
void giveBackMode(Surface& s) {
  if (!s.modeChanged) return;
  s.modeChanged = false;
  ChangeDisplaySettingsA(nullptr, 0);
  DEVMODEA before = s.modeBefore;
  if (before.dmFields != 0 && !sameMode(currentMode(), before)) {
    before.dmFields &= DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL | DM_DISPLAYFREQUENCY;
    ChangeDisplaySettingsA(&before, 0);
  }
}

// A process that dies of an uncaught exception or a fault must not leave the
// user's desktop in the surface's mode either: the display is given back
// before the process's previous handlers take over.
std::terminate_handler gPreviousTerminate = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER gPreviousFilter = nullptr;

[[noreturn]] void giveBackModeAndTerminate() {
  giveBackMode(surface());
  if (gPreviousTerminate) gPreviousTerminate();
  std::abort();
}

LONG WINAPI giveBackModeOnFault(EXCEPTION_POINTERS* fault) {
  giveBackMode(surface());
  return gPreviousFilter ? gPreviousFilter(fault) : EXCEPTION_CONTINUE_SEARCH;
}

void guardModeAgainstCrashes() {
  static bool guarded = false;
  if (guarded) return;
  guarded = true;
  gPreviousTerminate = std::set_terminate(giveBackModeAndTerminate);
  gPreviousFilter = SetUnhandledExceptionFilter(giveBackModeOnFault);
}

// Where a window of width x height stands centred on the primary display;
// a display smaller than the window gets its top-left corner.
POINT centredOrigin(int width, int height) {
  const int sw = GetSystemMetrics(SM_CXSCREEN);
  const int sh = GetSystemMetrics(SM_CYSCREEN);
  return POINT{std::max(0, (sw - width) / 2), std::max(0, (sh - height) / 2)};
}

// Makes the window and the canvas; on failure leaves nothing behind (the
// display mode apart).
bool openSurface(int width, int height, RECT area, DWORD exStyle, bool fullScreen) {
  Surface& s = surface();
  s.fullScreen = fullScreen;
  s.clientWidth = std::max<int>(width, area.right - area.left);
  s.clientHeight = std::max<int>(height, area.bottom - area.top);
  s.keyEntries = 0;
  s.wheelDelta = 0;
  if (!registerClass() || !createCanvas(s, width, height)) {
    releaseCanvas(s);
    return false;
  }
  s.window = CreateWindowExA(exStyle, kClassName, kTitle, WS_POPUP, area.left, area.top, s.clientWidth,
                             s.clientHeight, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!s.window) {
    releaseCanvas(s);
    return false;
  }
  ShowWindow(s.window, SW_SHOW);
  SetForegroundWindow(s.window);
  SetFocus(s.window);
  UpdateWindow(s.window);
  return true;
}

[[noreturn]] void cannotOpen() {
  MessageBoxA(nullptr, kNoDisplayMessage, kTitle, MB_OK);
  exitProcess(1);
}

}  // namespace

namespace backend {
Canvas* activeCanvas() {
  Surface& s = surface();
  return s.canvas.pixels ? &s.canvas : nullptr;
}
}  // namespace backend

bool openFullScreen(int width, int height) {
  closeSurface();
  prepareProcess();
  Surface& s = surface();

  DEVMODEA mode{};
  mode.dmSize = sizeof(mode);
  mode.dmPelsWidth = static_cast<DWORD>(width);
  mode.dmPelsHeight = static_cast<DWORD>(height);
  mode.dmBitsPerPel = 32;
  mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
  guardModeAgainstCrashes();
  s.modeBefore = currentMode();
  s.modeChanged = ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;

  if (s.modeChanged) {
    const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (openSurface(width, height, screen, WS_EX_TOPMOST, true)) return true;
    giveBackMode(s);
  }
  // The mode cannot be had: a window of the surface's size instead.
  const POINT at = centredOrigin(width, height);
  if (openSurface(width, height, RECT{at.x, at.y, at.x + width, at.y + height}, WS_EX_TOPMOST, true)) return true;
  cannotOpen();
}

bool openFramelessWindow(int width, int height) {
  closeSurface();
  prepareProcess();
  const POINT at = centredOrigin(width, height);
  if (openSurface(width, height, RECT{at.x, at.y, at.x + width, at.y + height}, 0, false)) return true;
  cannotOpen();
}

bool surfaceIsOpen() { return surface().canvas.pixels != nullptr; }

void closeSurface() {
  Surface& s = surface();
  win32::releasePointer();
  if (s.window) {
    s.closing = true;
    DestroyWindow(s.window);
    s.closing = false;
    s.window = nullptr;
  }
  releaseCanvas(s);
  giveBackMode(s);
  s.keyEntries = 0;
  s.wheelDelta = 0;
}

void exitProcess(int code) {
  closeSurface();
  win32::giveBackTimerResolution();
  std::fflush(nullptr);
  ExitProcess(static_cast<UINT>(code));
}

namespace win32 {

HWND surfaceWindow() { return surface().window; }

void serveWindow() {
  Surface& s = surface();
  if (s.window && s.canvas.dirty) {
    InvalidateRect(s.window, nullptr, FALSE);
    UpdateWindow(s.window);
  }
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      addKeyEntry();  // asked to end: like the close command
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool keyEntryWaiting() { return surface().keyEntries > 0; }

bool takeKeyEntry() {
  Surface& s = surface();
  if (s.keyEntries <= 0) return false;
  --s.keyEntries;
  return true;
}

int wheelPosition() { return static_cast<int>(surface().wheelDelta / WHEEL_DELTA); }

}  // namespace win32
}  // namespace platform
