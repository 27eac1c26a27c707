// The preview child window on Windows: its class, its window procedure and
// its message loop, painted from the 24-bit BMP image in memory with one
// SetDIBitsToDevice per WM_PAINT.
//
// Kept apart from platform::runPreviewWindow so that the unit tests can make
// the real window inside a window of their own.
#pragma once

#include <windows.h>

#include <cstdint>

namespace platform::win32 {

inline constexpr char kPreviewClassName[] = "Quorvane ScreenSaver";
inline constexpr int kPreviewChildId = 9999;
inline constexpr UINT_PTR kPreviewTimerId = 1;

// The picture the window paints and the function each timer tick calls.
void setPreviewSource(const std::uint8_t* bitmap, void (*step)());

// The window procedure: WM_TIMER 1 steps and invalidates, WM_PAINT paints the
// picture, WM_DESTROY posts the quit message with 0.
LRESULT CALLBACK previewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers the window class; 0 when that fails (as when it is registered).
ATOM registerPreviewClass(HINSTANCE instance);

// The hidden 152 x 112 child of `host` at (0, 0), identifier 9999.
HWND createPreviewWindow(HINSTANCE instance, HWND host);

// Clears the caption bits of the window's style and sets its size to the
// window rectangle its client rectangle asks for.
void stripCaption(HWND window);

// The preview's whole life inside `host`: class, window, timer and message
// loop. Returns the quit message's code, or 0 at once when `host` is not a
// window or the class or the window cannot be made.
int runPreview(HWND host, const std::uint8_t* bitmap, void (*step)());

}  // namespace platform::win32
