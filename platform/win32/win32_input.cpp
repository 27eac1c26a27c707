// Keyboard and mouse of the surface's window on Windows.
//
// Every poll first serves the window, so the key buffer and the pointer are
// as fresh as the message queue. The buttons come from GetAsyncKeyState:
// the state at this moment, right even when a button went up outside the
// window.
#include <windows.h>

#include "platform/input.h"
#include "platform/win32/win32_host.h"

namespace platform {
namespace {

struct Pointer {
  bool hidden = false;    // our ShowCursor(FALSE) is in force
  bool confined = false;  // our ClipCursor is in force
};

Pointer& pointer() {
  static Pointer p;
  return p;
}

bool held(int virtualKey) { return (GetAsyncKeyState(virtualKey) & 0x8000) != 0; }

}  // namespace

MouseReading readMouse() {
  win32::serveWindow();
  HWND window = win32::surfaceWindow();
  if (!window || GetForegroundWindow() != window || IsIconic(window)) return MouseReading{};
  POINT at;
  RECT client;
  if (!GetCursorPos(&at) || !ScreenToClient(window, &at) || !GetClientRect(window, &client)) return MouseReading{};
  if (!PtInRect(&client, at)) return MouseReading{};
  const int buttons = (held(VK_LBUTTON) ? 1 : 0) | (held(VK_RBUTTON) ? 2 : 0) | (held(VK_MBUTTON) ? 4 : 0);
  return MouseReading{static_cast<int>(at.x), static_cast<int>(at.y), win32::wheelPosition(), buttons};
}

void setMouse(int x, int y, bool visible, bool confined) {
  Pointer& p = pointer();
  // One step of the show counter each way, so closing gives it back as it was.
  if (!visible && !p.hidden) {
    ShowCursor(FALSE);
    p.hidden = true;
  } else if (visible && p.hidden) {
    ShowCursor(TRUE);
    p.hidden = false;
  }
  HWND window = win32::surfaceWindow();
  if (!window) return;
  POINT at{x, y};
  if (ClientToScreen(window, &at)) SetCursorPos(at.x, at.y);
  RECT client;
  if (confined && GetClientRect(window, &client) &&
      MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2) != 0) {
    p.confined = ClipCursor(&client) != 0;
  } else if (p.confined) {
    ClipCursor(nullptr);
    p.confined = false;
  }
}

bool pollKey() {
  win32::serveWindow();
  return win32::takeKeyEntry();
}

namespace win32 {

void releasePointer() {
  Pointer& p = pointer();
  if (p.hidden) ShowCursor(TRUE);
  if (p.confined) ClipCursor(nullptr);
  p = Pointer{};
}

}  // namespace win32
}  // namespace platform
