// The system-test harness: the real programs on a real display server.
//
// Every test program gets its own Xvfb (1024 x 768, 24 bits, started on a
// free display and stopped at the end, also when a test fails) and, for the
// Windows target, a Wine prefix with one wineserver kept alive. A Sandbox is
// a fresh directory holding a copy of the program, so its settings file and
// its temporary directory belong to one test. Screen reads use XGetImage;
// input is injected with XTest.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct _XDisplay;

namespace systest {

enum class Target { Linux, Windows };
std::string targetName(Target target);

// Build products and folders, as CMake configured them.
std::string sourceDir();
std::string linuxProgram();    // build/linux/velmorascr
std::string windowsProgram();  // build/windows/velmorascr.scr
std::string windowsBuildDir();
std::string winePrefix();
// The display probe of a target (tests/system/display_probe.cpp).
std::string displayProbe(Target target);

// The test program's X server.
class Screen {
 public:
  static Screen& get();
  const std::string& name() const { return name_; }  // ":N"
  _XDisplay* x() const { return display_; }  // Xlib's Display

  // 0x00RRGGBB words, row by row.
  std::vector<std::uint32_t> grab(int x, int y, int width, int height);
  std::uint32_t pixel(int x, int y);

  void movePointer(int x, int y);
  void pressButton(unsigned button);    // 1 left, 2 middle, 3 right
  void releaseButton(unsigned button);
  void tapKey(const std::string& keysym);  // "a", "Escape", "F4", "Left"
  void pressKey(const std::string& keysym);
  void releaseKey(const std::string& keysym);

  struct Window {
    unsigned long id;
    int x, y, width, height;
    bool mapped;
  };
  // The mapped top-level windows (children of the root), bottom to top.
  std::vector<Window> topLevelWindows();

  void start();
  void stop();

 private:
  std::string name_;
  _XDisplay* display_ = nullptr;
  int serverPid_ = -1;
};

// A fresh directory with a copy of the program and a temporary directory
// of its own; removed at the end of the test.
class Sandbox {
 public:
  // `program`, when given, is copied instead of the screensaver: one of the
  // tests' helper programs.
  explicit Sandbox(Target target, const std::string& program = {});
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  Target target() const { return target_; }
  const std::string& dir() const { return dir_; }
  const std::string& program() const { return program_; }
  // Where the program writes its codec file: TMP on Linux, the Wine
  // prefix's temporary folder on Windows (Wine sets TMP itself).
  std::string tempDir() const;
  std::string settingsFile() const { return dir_ + "/velmorascr.ini"; }
  // The entries of a folder, sorted.
  static std::vector<std::string> listDir(const std::string& path);

 private:
  Target target_;
  std::string dir_;
  std::string program_;
};

// One run of the program, its output in files in the sandbox.
class Program {
 public:
  Program(const Sandbox& sandbox, std::vector<std::string> arguments,
          std::map<std::string, std::string> environment = {});
  // Another executable of the target (a test's helper program), run the
  // same way in the sandbox: under Wine for the Windows target.
  Program(const Sandbox& sandbox, const std::string& executable, std::vector<std::string> arguments,
          std::map<std::string, std::string> environment = {});
  ~Program();  // kills it if it still runs
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The exit code once the program has ended within `seconds`; nothing if it
  // still runs then. A program killed by a signal gives 128 + the signal.
  std::optional<int> waitExit(double seconds);
  bool running();
  void signal(int signalNumber);
  double secondsSinceStart() const;
  std::string output() const;  // stdout and stderr so far

  int pid() const { return pid_; }

 private:
  int pid_ = -1;
  std::optional<int> status_;
  std::string outputFile_;
  std::chrono::steady_clock::time_point start_;
};

// The X server's display mode, through XRandR.
struct ScreenMode {
  int width = 0;
  int height = 0;
};
ScreenMode currentMode();
// Puts the server's one output into a width x height mode, adding the mode
// first when the server does not have it.
void setMode(int width, int height);

// Asks a window to close, as a window manager does on Alt+F4. A window that
// has gone meanwhile is no error.
void requestClose(unsigned long window);

// Polls `condition` every `interval` seconds until it holds or `seconds`
// have passed; returns whether it held.
bool waitUntil(const std::function<bool()>& condition, double seconds, double interval = 0.02);

// Reads or writes a whole file.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

}  // namespace systest
