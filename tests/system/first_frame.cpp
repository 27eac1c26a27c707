// A small Linux program for the show's load measurement (bench/show-load.sh):
// it starts a program and watches the X server's screen, which must be
// black to begin with, for the first picture the program shows.
//
//   velmora-first-frame REPORT COMMAND [ARGUMENT...]
//       Starts COMMAND and reads the whole screen in a tight loop (through
//       shared memory where the server offers it) until a window as large as
//       the screen is mapped and a pixel is no longer black, or 30 s have
//       passed. Writes into REPORT, each line as soon as it is known:
//         pid <n>              COMMAND's process
//         window-ms <ms>       from the start to the screen-sized window
//         first-frame-ms <ms>  from the start to the first non-black pixel
//       ("none" instead of a time when it did not happen in 30 s). Then it
//       waits for COMMAND to end and ends with its exit code (128 + the
//       signal when a signal ended it).
//
// The start is taken just before the fork; the time a fork and an exec take
// counts towards the program's.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLongestWatch = std::chrono::seconds(30);
constexpr auto kRest = std::chrono::milliseconds(2);

// Reads the root window, through a shared-memory image when the server has
// the extension (a read then costs a copy inside the server only).
class ScreenReader {
 public:
  explicit ScreenReader(Display* display)
      : display_(display),
        root_(DefaultRootWindow(display)),
        width_(DisplayWidth(display, DefaultScreen(display))),
        height_(DisplayHeight(display, DefaultScreen(display))) {
    if (!XShmQueryExtension(display)) return;
    image_ = XShmCreateImage(display, DefaultVisual(display, DefaultScreen(display)),
                             static_cast<unsigned>(DefaultDepth(display, DefaultScreen(display))), ZPixmap, nullptr,
                             &segment_, static_cast<unsigned>(width_), static_cast<unsigned>(height_));
    if (!image_) return;
    const std::size_t bytes =
        static_cast<std::size_t>(image_->bytes_per_line) * static_cast<std::size_t>(height_);
    segment_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segment_.shmid < 0) {
      dropShared();
      return;
    }
    segment_.shmaddr = image_->data = static_cast<char*>(shmat(segment_.shmid, nullptr, 0));
    segment_.readOnly = False;
    // Marked for removal at once: it goes when both sides have let go.
    shmctl(segment_.shmid, IPC_RMID, nullptr);
    if (segment_.shmaddr == reinterpret_cast<char*>(-1) || !XShmAttach(display, &segment_)) {
      dropShared();
      return;
    }
    XSync(display, False);
    shared_ = true;
  }

  ~ScreenReader() {
    if (shared_) XShmDetach(display_, &segment_);
    dropShared();
  }

  int width() const { return width_; }
  int height() const { return height_; }

  // Whether any pixel of the screen is not black.
  bool anyLight() {
    if (shared_) {
      if (!XShmGetImage(display_, root_, image_, 0, 0, AllPlanes)) return false;
      return anyLight(image_);
    }
    XImage* image = XGetImage(display_, root_, 0, 0, static_cast<unsigned>(width_), static_cast<unsigned>(height_),
                              AllPlanes, ZPixmap);
    if (!image) return false;
    const bool light = anyLight(image);
    XDestroyImage(image);
    return light;
  }

 private:
  void dropShared() {
    if (image_) {
      if (segment_.shmaddr && segment_.shmaddr != reinterpret_cast<char*>(-1)) shmdt(segment_.shmaddr);
      image_->data = nullptr;
      XDestroyImage(image_);
    }
    image_ = nullptr;
    shared_ = false;
  }

  bool anyLight(XImage* image) const {
    const unsigned long colours = image->red_mask | image->green_mask | image->blue_mask;
    if (image->bits_per_pixel == 32 && colours <= 0xFFFFFFFFul) {
      const auto mask = static_cast<std::uint32_t>(colours);
      for (int y = 0; y < height_; ++y) {
        const char* row = image->data + static_cast<std::ptrdiff_t>(y) * image->bytes_per_line;
        for (int x = 0; x < width_; ++x) {
          std::uint32_t word = 0;
          std::memcpy(&word, row + 4 * x, 4);
          if ((word & mask) != 0) return true;
        }
      }
      return false;
    }
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        if ((XGetPixel(image, x, y) & colours) != 0) return true;
      }
    }
    return false;
  }

  Display* display_;
  Window root_;
  int width_;
  int height_;
  XImage* image_ = nullptr;
  XShmSegmentInfo segment_{};
  bool shared_ = false;
};

bool screenSizedWindowMapped(Display* display, int width, int height) {
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return false;
  bool found = false;
  for (unsigned i = 0; i < count && !found; ++i) {
    XWindowAttributes a{};
    if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable) {
      found = a.width >= width && a.height >= height;
    }
  }
  if (children) XFree(children);
  return found;
}

// A window that is gone by the time its attributes are asked for is no error.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

void note(std::FILE* report, const std::string& line) {
  std::fprintf(report, "%s\n", line.c_str());
  std::fflush(report);
}

std::string milliseconds(std::optional<Clock::duration> elapsed) {
  if (!elapsed) return "none";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", std::chrono::duration<double, std::milli>(*elapsed).count());
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: velmora-first-frame REPORT COMMAND [ARGUMENT...]\n");
    return 2;
  }
  std::FILE* report = std::fopen(argv[1], "w");
  if (!report) {
    std::fprintf(stderr, "velmora-first-frame: cannot write %s\n", argv[1]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "velmora-first-frame: no X display\n");
    return 2;
  }
  XSetErrorHandler(&ignoreXError);
  // The reader lets go of the display before the display is closed.
  auto screen = std::make_unique<ScreenReader>(display);
  if (screen->anyLight()) {
    std::fprintf(stderr, "velmora-first-frame: the screen is not black before the start\n");
    return 2;
  }

  const Clock::time_point start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) return 2;
  if (pid == 0) {
    execvp(argv[2], argv + 2);
    std::fprintf(stderr, "velmora-first-frame: cannot start %s: %s\n", argv[2], std::strerror(errno));
    _exit(127);
  }
  note(report, "pid " + std::to_string(pid));

  std::optional<Clock::duration> window;
  std::optional<Clock::duration> frame;
  while ((!window || !frame) && Clock::now() - start < kLongestWatch) {
    if (!window && screenSizedWindowMapped(display, screen->width(), screen->height())) {
      window = Clock::now() - start;
    }
    if (!frame && screen->anyLight()) frame = Clock::now() - start;
    // A read costs the X server a copy of the whole screen: a short rest
    // between reads leaves it free for the program, which it serves too.
    std::this_thread::sleep_for(kRest);
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
      note(report, "window-ms " + milliseconds(window));
      note(report, "first-frame-ms " + milliseconds(frame));
      std::fprintf(stderr, "velmora-first-frame: %s ended before it showed anything\n", argv[2]);
      return 2;
    }
  }
  note(report, "window-ms " + milliseconds(window));
  note(report, "first-frame-ms " + milliseconds(frame));
  std::fclose(report);
  screen.reset();
  XCloseDisplay(display);

  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
