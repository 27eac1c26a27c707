// The preview window inside a host's window (the screensaver settings'
// little monitor on Windows, an X11 window on Linux).
#pragma once

#include <cstdint>

namespace platform {

// The preview child window's size and its timer period.
inline constexpr int kPreviewWidth = 152;
inline constexpr int kPreviewHeight = 112;
inline constexpr int kPreviewTickMs = 160;

// Creates the preview child window at (0, 0) inside `hostWindow`, paints the
// 24-bit BMP image at `previewBitmap` (file header, info header, rows
// bottom-up) into it, and every 160 ms calls `stepPreview` and repaints.
// Returns when the host destroys its window, with the message loop's exit
// code (0); returns 0 at once when `hostWindow` is not a window.
int runPreviewWindow(std::int32_t hostWindow, const std::uint8_t* previewBitmap, void (*stepPreview)());

}  // namespace platform
