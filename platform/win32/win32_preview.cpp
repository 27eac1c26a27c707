// The preview window host on Windows: "/p <handle>" makes the preview's
// child window inside the host's window (platform/win32/preview_window.cpp).
#include <windows.h>

#include "platform/preview_host.h"
#include "platform/win32/preview_window.h"

namespace platform {

int runPreviewWindow(std::int32_t hostWindow, const std::uint8_t* previewBitmap, void (*stepPreview)()) {
  // Window handles are 32-bit values, sign-extended where pointers are wider.
  HWND host = reinterpret_cast<HWND>(static_cast<INT_PTR>(hostWindow));
  return win32::runPreview(host, previewBitmap, stepPreview);
}

}  // namespace platform
