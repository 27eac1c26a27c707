#include "platform/win32/preview_window.h"

#include <cstring>

namespace platform::win32 {
namespace {

const std::uint8_t* gBitmap = nullptr;
void (*gStep)() = nullptr;

// A little-endian 16-bit word of the bitmap's header.
unsigned headerWord(std::size_t offset) {
  return static_cast<unsigned>(gBitmap[offset]) | static_cast<unsigned>(gBitmap[offset + 1]) << 8;
}

void paint(HWND window) {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(window, &paint);
  if (gBitmap) {
    const unsigned pixelOffset = headerWord(10);
    const unsigned width = headerWord(18) & 0x7FFu;
    const unsigned height = headerWord(22) & 0x7FFu;
    // The info header as the API's own record (the bytes at offset 14 of
    // the bitmap are the same 40 bytes, with no colour table after them).
    BITMAPINFO info{};
    std::memcpy(&info.bmiHeader, gBitmap + 14, sizeof info.bmiHeader);
    SetDIBitsToDevice(dc, 0, 0, width, height, 0, 0, 0, height, gBitmap + pixelOffset, &info, DIB_RGB_COLORS);
  }
  EndPaint(window, &paint);
}

}  // namespace

void setPreviewSource(const std::uint8_t* bitmap, void (*step)()) {
  gBitmap = bitmap;
  gStep = step;
}

LRESULT CALLBACK previewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kPreviewTimerId) {
        if (gStep) gStep();
        RECT client{};
        GetClientRect(window, &client);
        InvalidateRect(window, &client, FALSE);
      }
      return 0;
    case WM_CREATE:
      return 0;
    case WM_PAINT:
      paint(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

ATOM registerPreviewClass(HINSTANCE instance) {
  WNDCLASSA windowClass{};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = previewWindowProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = instance;
  windowClass.hIcon = nullptr;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  windowClass.lpszMenuName = nullptr;
  windowClass.lpszClassName = kPreviewClassName;
  return RegisterClassA(&windowClass);
}

HWND createPreviewWindow(HINSTANCE instance, HWND host) {
  // A child's "menu" argument carries its identifier.
  return CreateWindowExA(0, kPreviewClassName, nullptr, WS_CHILD, 0, 0, 152, 112, host,
                         reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kPreviewChildId)), instance, nullptr);
}

void stripCaption(HWND window) {
  const DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)) & 0xFF3FFFFFu;
  SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(style));
  RECT rect{};
  GetClientRect(window, &rect);
  AdjustWindowRect(&rect, style, GetMenu(window) != nullptr);
  // The size is the adjusted rectangle's right and bottom, as they are.
  SetWindowPos(window, nullptr, 0, 0, rect.right, rect.bottom,
               SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED | SWP_NOSENDCHANGING);
}

int runPreview(HWND host, const std::uint8_t* bitmap, void (*step)()) {
  // A stale or made-up handle: no window to live in, so no loop to run.
  if (!IsWindow(host)) return 0;
  setPreviewSource(bitmap, step);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (registerPreviewClass(instance) == 0) return 0;
  HWND window = createPreviewWindow(instance, host);
  if (!window) return 0;
  stripCaption(window);
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  SetTimer(window, kPreviewTimerId, 160, nullptr);
  MSG message{};
  BOOL got = 0;
  // GetMessageA gives -1 on an error: that ends the loop with 0 instead of
  // spinning on it.
  while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return got == 0 ? static_cast<int>(message.wParam) : 0;
}

}  // namespace platform::win32
