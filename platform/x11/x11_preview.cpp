// The preview window host on Linux: "/p <window id>" puts a 152 x 112 child
// window at the top-left corner of that X11 window, paints the preview's
// 24-bit bitmap into it and steps it every 160 ms, until the host window (and
// with it the child) is destroyed or the X connection is lost.
//
// Plain Xlib: this path opens no SDL surface.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <bit>
#include <chrono>
#include <cstddef>
#include <vector>

#include "platform/preview_host.h"
#include "platform/process.h"

namespace platform {
namespace {

constexpr int kBitmapPixelOffset = 54;
constexpr int kBitmapRowBytes = kPreviewWidth * 3;

// Protocol errors (a window id that names no window, a host that vanishes
// between two requests) are noted, not fatal.
bool gXError = false;
int noteXError(Display*, XErrorEvent*) {
  gXError = true;
  return 0;
}

// Xlib ends the process after this handler whatever it does; the host is
// gone with the connection, so the preview ends as when its window goes.
int onConnectionLost(Display*) { exitProcess(0); }

// An 8-bit channel value placed into a TrueColor mask.
unsigned long placeChannel(unsigned value, unsigned long mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const unsigned long scaled = bits >= 8 ? static_cast<unsigned long>(value) << (bits - 8) : value >> (8 - bits);
  return (scaled << shift) & mask;
}

struct PreviewWindow {
  Display* display = nullptr;
  Window host = 0;
  Window child = 0;
  GC gc = nullptr;
  XImage* image = nullptr;
  std::vector<char> imageBytes;
  const std::uint8_t* bitmap = nullptr;

  ~PreviewWindow() {
    if (image) {
      image->data = nullptr;  // the bytes belong to imageBytes
      XDestroyImage(image);
    }
    if (gc) XFreeGC(display, gc);
    if (display) XCloseDisplay(display);
  }

  bool create(Window hostWindow) {
    host = hostWindow;
    gXError = false;
    XWindowAttributes hostAttributes{};
    if (!XGetWindowAttributes(display, host, &hostAttributes) || gXError) return false;

    // The host's own visual when it is TrueColor, else a 24-bit TrueColor
    // one with a colormap of its own.
    Visual* visual = hostAttributes.visual;
    int depth = hostAttributes.depth;
    XSetWindowAttributes attributes{};
    unsigned long mask = CWBackPixel | CWBorderPixel | CWEventMask;
    if (visual->c_class != TrueColor) {
      XVisualInfo info{};
      if (!XMatchVisualInfo(display, XScreenNumberOfScreen(hostAttributes.screen), 24, TrueColor, &info)) return false;
      visual = info.visual;
      depth = info.depth;
      attributes.colormap = XCreateColormap(display, host, visual, AllocNone);
      mask |= CWColormap;
    }
    attributes.background_pixel = 0;  // black in TrueColor
    attributes.border_pixel = 0;
    attributes.event_mask = ExposureMask | StructureNotifyMask;
    child = XCreateWindow(display, host, 0, 0, kPreviewWidth, kPreviewHeight, 0, depth, InputOutput, visual, mask,
                          &attributes);
    // The host's destruction, even when it reaches us before the child's.
    XSelectInput(display, host, StructureNotifyMask);
    gc = XCreateGC(display, child, 0, nullptr);
    image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr, kPreviewWidth,
                         kPreviewHeight, 32, 0);
    if (!image) return false;
    imageBytes.assign(static_cast<std::size_t>(image->bytes_per_line) * kPreviewHeight, 0);
    image->data = imageBytes.data();
    XMapWindow(display, child);
    XSync(display, False);
    return !gXError;
  }

  // The bitmap's rows (bottom row first, bytes blue, green, red) into the
  // image's format, then onto the window.
  void paint() {
    for (int y = 0; y < kPreviewHeight; ++y) {
      const std::uint8_t* row = bitmap + kBitmapPixelOffset + (kPreviewHeight - 1 - y) * kBitmapRowBytes;
      for (int x = 0; x < kPreviewWidth; ++x) {
        const std::uint8_t* p = row + 3 * x;
        const unsigned long pixel = placeChannel(p[2], image->red_mask) | placeChannel(p[1], image->green_mask) |
                                    placeChannel(p[0], image->blue_mask);
        XPutPixel(image, x, y, pixel);
      }
    }
    XPutImage(display, child, gc, image, 0, 0, 0, 0, kPreviewWidth, kPreviewHeight);
    XFlush(display);
  }

  // Serves the events that are there; false once the host or the child is
  // destroyed.
  bool serveEvents() {
    while (XPending(display) > 0) {
      XEvent event{};
      XNextEvent(display, &event);
      if (event.type == DestroyNotify && (event.xdestroywindow.window == host || event.xdestroywindow.window == child)) {
        return false;
      }
      if (event.type == Expose && event.xexpose.window == child && event.xexpose.count == 0) paint();
    }
    return true;
  }
};

}  // namespace

int runPreviewWindow(std::int32_t hostWindow, const std::uint8_t* previewBitmap, void (*stepPreview)()) {
  PreviewWindow preview;
  preview.bitmap = previewBitmap;
  preview.display = XOpenDisplay(nullptr);
  if (!preview.display) return 0;
  XSetErrorHandler(noteXError);
  XSetIOErrorHandler(onConnectionLost);
  // X window ids are 32-bit values; one that names no window ends the preview.
  if (!preview.create(static_cast<Window>(static_cast<std::uint32_t>(hostWindow)))) return 0;

  using Clock = std::chrono::steady_clock;
  const auto period = std::chrono::milliseconds(kPreviewTickMs);
  auto nextTick = Clock::now() + period;
  const int connection = ConnectionNumber(preview.display);
  for (;;) {
    if (!preview.serveEvents()) return 0;
    const auto now = Clock::now();
    if (now >= nextTick) {
      stepPreview();
      preview.paint();
      // After a stall, the next tick comes a whole period later, not at once.
      nextTick = now - nextTick >= period ? now + period : nextTick + period;
      continue;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextTick - now);
    pollfd waiting{connection, POLLIN, 0};
    poll(&waiting, 1, static_cast<int>(wait.count()));
  }
}

}  // namespace platform
