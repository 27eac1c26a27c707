// GoogleTest first: Xlib's macros (None, Bool, Status) would break it.
#include <gtest/gtest.h>

#include "tests/system/harness.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace systest {
namespace {

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what); }

void sleepSeconds(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

// How a child process is started.
struct Launch {
  std::vector<std::string> argv;
  std::map<std::string, std::string> environment;
  std::string output;            // stdout and stderr go here
  bool appendOutput = false;
  std::string workingDir;        // empty: the test program's
  bool ownProcessGroup = false;  // so that it and its children can be killed together
};

// Forks and runs `launch` with standard input from /dev/null; returns the
// child's pid. The child dies with the test program.
pid_t spawn(const Launch& launch) {
  const pid_t pid = fork();
  if (pid < 0) fail("fork failed");
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (launch.ownProcessGroup) setpgid(0, 0);
    for (const auto& [k, v] : launch.environment) setenv(k.c_str(), v.c_str(), 1);
    if (!launch.workingDir.empty() && chdir(launch.workingDir.c_str()) != 0) _exit(126);
    const int fd = open(launch.output.c_str(), O_WRONLY | O_CREAT | (launch.appendOutput ? O_APPEND : O_TRUNC), 0644);
    const int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    dup2(fd, 1);
    dup2(fd, 2);
    std::vector<char*> args;
    for (const auto& a : launch.argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

// Runs a command to its end with its output appended to `log`; returns its
// status.
int runQuietly(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
               const std::string& log) {
  const pid_t pid = spawn(Launch{argv, env, log, true, "", false});
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::map<std::string, std::string> wineEnvironment() {
  return {{"WINEPREFIX", winePrefix()},
          {"WINEDEBUG", "-all"},
          {"WINEDLLOVERRIDES", "mscoree,mshtml,winemenubuilder.exe=d"},
          {"DISPLAY", Screen::get().name()}};
}

// Starts Xvfb and the Wine server for the test program, stops them after it.
class SystemEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Screen::get().start();
    const int rc = runQuietly({sourceDir() + "/tests/wine-prefix.sh", "start", winePrefix()}, wineEnvironment(),
                              winePrefix() + ".system.log");
    if (rc != 0) fail("the Wine prefix could not be prepared (see " + winePrefix() + ".system.log)");
  }
  void TearDown() override {
    runQuietly({sourceDir() + "/tests/wine-prefix.sh", "stop", winePrefix()}, wineEnvironment(),
               winePrefix() + ".system.log");
    Screen::get().stop();
  }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new SystemEnvironment);

}  // namespace

std::string targetName(Target target) { return target == Target::Linux ? "Linux" : "Windows"; }

std::string sourceDir() { return VELMORA_SOURCE_DIR; }
std::string linuxProgram() { return VELMORA_LINUX_PROGRAM; }
std::string windowsProgram() { return VELMORA_WINDOWS_BUILD_DIR "/velmorascr.scr"; }
std::string windowsBuildDir() { return VELMORA_WINDOWS_BUILD_DIR; }
std::string winePrefix() { return VELMORA_WINDOWS_BUILD_DIR "/wineprefix-system"; }
std::string displayProbe(Target target) {
  return target == Target::Linux ? VELMORA_LINUX_DISPLAY_PROBE
                                 : VELMORA_WINDOWS_BUILD_DIR "/tests/velmora-display-probe.exe";
}

// --- Screen ------------------------------------------------------------------

Screen& Screen::get() {
  static Screen screen;
  return screen;
}

void Screen::start() {
  int fds[2];
  if (pipe(fds) != 0) fail("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) fail("fork failed");
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive the tests
    close(fds[0]);
    const int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
    const std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-noreset", "-nolisten", "tcp",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  serverPid_ = pid;
  std::string number;
  char c = 0;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (number.empty()) fail("Xvfb did not start");
  name_ = ":" + number;
  setenv("DISPLAY", name_.c_str(), 1);
  display_ = XOpenDisplay(name_.c_str());
  if (!display_) fail("cannot connect to Xvfb on " + name_);
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display_, &eventBase, &errorBase, &major, &minor)) fail("Xvfb lacks XTest");
}

void Screen::stop() {
  if (display_) XCloseDisplay(display_);
  display_ = nullptr;
  if (serverPid_ > 0) {
    kill(serverPid_, SIGTERM);
    int status = 0;
    waitpid(serverPid_, &status, 0);
  }
  serverPid_ = -1;
}

std::vector<std::uint32_t> Screen::grab(int x, int y, int width, int height) {
  XImage* image = XGetImage(display_, DefaultRootWindow(display_), x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!image) fail("XGetImage failed");
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      pixels[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(col)] =
          static_cast<std::uint32_t>(XGetPixel(image, col, row) & 0xFFFFFFu);
    }
  }
  XDestroyImage(image);
  return pixels;
}

std::uint32_t Screen::pixel(int x, int y) { return grab(x, y, 1, 1)[0]; }

void Screen::movePointer(int x, int y) {
  XTestFakeMotionEvent(display_, 0, x, y, CurrentTime);
  XSync(display_, False);
}

void Screen::pressButton(unsigned button) {
  XTestFakeButtonEvent(display_, button, True, CurrentTime);
  XSync(display_, False);
}

void Screen::releaseButton(unsigned button) {
  XTestFakeButtonEvent(display_, button, False, CurrentTime);
  XSync(display_, False);
}

void Screen::pressKey(const std::string& keysym) {
  const KeySym sym = XStringToKeysym(keysym.c_str());
  if (sym == NoSymbol) fail("unknown key " + keysym);
  XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, sym), True, CurrentTime);
  XSync(display_, False);
}

void Screen::releaseKey(const std::string& keysym) {
  const KeySym sym = XStringToKeysym(keysym.c_str());
  XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, sym), False, CurrentTime);
  XSync(display_, False);
}

void Screen::tapKey(const std::string& keysym) {
  pressKey(keysym);
  sleepSeconds(0.03);
  releaseKey(keysym);
}

std::vector<Screen::Window> Screen::topLevelWindows() {
  ::Window root = 0, parent = 0;
  ::Window* children = nullptr;
  unsigned count = 0;
  std::vector<Window> windows;
  if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) return windows;
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(display_, children[i], &a)) continue;
    if (a.map_state != IsViewable) continue;
    windows.push_back({children[i], a.x, a.y, a.width, a.height, true});
  }
  if (children) XFree(children);
  return windows;
}

// --- Sandbox -------------------------------------------------------------------

Sandbox::Sandbox(Target target, const std::string& program) : target_(target) {
  std::string pattern = (fs::temp_directory_path() / "velmora-system-XXXXXX").string();
  if (!mkdtemp(pattern.data())) fail("mkdtemp failed");
  dir_ = pattern;
  const std::string source =
      !program.empty() ? program : target == Target::Linux ? linuxProgram() : windowsProgram();
  program_ = dir_ + "/" + fs::path(source).filename().string();
  fs::copy_file(source, program_);
  fs::create_directories(dir_ + "/tmp");
}

Sandbox::~Sandbox() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

std::string Sandbox::tempDir() const {
  if (target_ == Target::Linux) return dir_ + "/tmp";
  return winePrefix() + "/drive_c/users/" + (std::getenv("USER") ? std::getenv("USER") : "root") + "/Temp";
}

std::vector<std::string> Sandbox::listDir(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(path, ec)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// --- Program -----------------------------------------------------------------

Program::Program(const Sandbox& sandbox, std::vector<std::string> arguments,
                 std::map<std::string, std::string> environment)
    : Program(sandbox, sandbox.program(), std::move(arguments), std::move(environment)) {}

Program::Program(const Sandbox& sandbox, const std::string& executable, std::vector<std::string> arguments,
                 std::map<std::string, std::string> environment)
    : outputFile_(sandbox.dir() + "/output-" + std::to_string(std::rand()) + ".log"),
      start_(std::chrono::steady_clock::now()) {
  std::vector<std::string> argv;
  std::map<std::string, std::string> env = std::move(environment);
  env.emplace("DISPLAY", Screen::get().name());
  if (sandbox.target() == Target::Windows) {
    for (const auto& [k, v] : wineEnvironment()) env.emplace(k, v);
    argv = {"wine", executable};
  } else {
    env.emplace("TMP", sandbox.tempDir());
    argv = {executable};
  }
  argv.insert(argv.end(), arguments.begin(), arguments.end());

  pid_ = spawn(Launch{argv, env, outputFile_, false, sandbox.dir(), true});
}

Program::~Program() {
  if (running()) {
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    waitExit(5.0);
  }
}

std::optional<int> Program::waitExit(double seconds) {
  if (status_) return status_;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  do {
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return status_;
    }
    sleepSeconds(0.01);
  } while (std::chrono::steady_clock::now() < deadline);
  return std::nullopt;
}

bool Program::running() { return !waitExit(0.0).has_value(); }

void Program::signal(int signalNumber) { kill(pid_, signalNumber); }

double Program::secondsSinceStart() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

std::string Program::output() const { return readFile(outputFile_); }

// --- display mode and window requests ------------------------------------------

ScreenMode currentMode() {
  Display* d = Screen::get().x();
  XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, DefaultRootWindow(d));
  ScreenMode mode;
  if (res && res->ncrtc > 0) {
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(d, res, res->crtcs[0]);
    if (crtc) {
      mode = {static_cast<int>(crtc->width), static_cast<int>(crtc->height)};
      XRRFreeCrtcInfo(crtc);
    }
  }
  if (res) XRRFreeScreenResources(res);
  return mode;
}

void setMode(int width, int height) {
  Display* d = Screen::get().x();
  const ::Window root = DefaultRootWindow(d);
  XRRScreenResources* res = XRRGetScreenResources(d, root);
  if (!res || res->noutput <= 0 || res->ncrtc <= 0) fail("the X server has no output to set a mode on");
  RROutput output = res->outputs[0];
  RRMode mode = 0;
  for (int i = 0; i < res->nmode; ++i) {
    if (static_cast<int>(res->modes[i].width) == width && static_cast<int>(res->modes[i].height) == height) {
      mode = res->modes[i].id;
    }
  }
  if (mode == 0) {
    const std::string name = std::to_string(width) + "x" + std::to_string(height) + "-test";
    XRRModeInfo* info = XRRAllocModeInfo(name.c_str(), static_cast<int>(name.size()));
    info->width = static_cast<unsigned>(width);
    info->height = static_cast<unsigned>(height);
    info->hSyncStart = info->width + 40;
    info->hSyncEnd = info->width + 168;
    info->hTotal = info->width + 256;
    info->vSyncStart = info->height + 1;
    info->vSyncEnd = info->height + 5;
    info->vTotal = info->height + 28;
    info->dotClock = static_cast<unsigned long>(info->hTotal) * info->vTotal * 60u;
    mode = XRRCreateMode(d, root, info);
    XRRFreeModeInfo(info);
    XRRAddOutputMode(d, output, mode);
  }
  XRRSetCrtcConfig(d, res, res->crtcs[0], CurrentTime, 0, 0, 0, RR_Rotate_0, nullptr, 0);
  XRRSetScreenSize(d, root, width, height, width * 254 / 960, height * 254 / 960);
  XRRSetCrtcConfig(d, res, res->crtcs[0], CurrentTime, 0, 0, mode, RR_Rotate_0, &output, 1);
  XRRFreeScreenResources(res);
  XSync(d, False);
}

void requestClose(unsigned long window) {
  Display* d = Screen::get().x();
  XSync(d, False);
  const auto previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, window, False, NoEventMask, &event);
  XSync(d, False);
  XSetErrorHandler(previous);
}

// --- helpers -------------------------------------------------------------------

bool waitUntil(const std::function<bool()>& condition, double seconds, double interval) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (true) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    sleepSeconds(interval);
  }
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace systest
