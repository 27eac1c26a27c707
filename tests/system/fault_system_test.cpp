// The programs when the world around them is not as it should be: a
// temporary directory that cannot hold the codec file, a codec file that
// someone else planted, a settings path that is a directory, a second
// instance sharing the codec file, and the show ended from outside. Each
// case ends in a defined state: the show runs or says "bad archive link",
// every end has exit code 0, and the display gets its mode back.

// GoogleTest first: Xlib's macros (None, Bool, Status) would break it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/system/harness.h"

namespace fs = std::filesystem;

namespace systest {
namespace {

// Wine needs a moment of its own to start a program.
double startSeconds(Target target) { return target == Target::Windows ? 30.0 : 10.0; }
// A show notices a key or the close command at its next hold pass: within
// one cycle of about 1.7 s.
constexpr double kEndSeconds = 6.0;

// --- the screen ----------------------------------------------------------------

// Whether most of the screen shows a picture: of a sparse sample of its
// pixels, at least 30 % are not black. The slides are photographs; an empty
// surface or one line of text is nowhere near.
bool screenShowsAPicture() {
  const auto pixels = Screen::get().grab(0, 0, 1024, 768);
  std::size_t lit = 0, sampled = 0;
  for (std::size_t i = 0; i < pixels.size(); i += 97, ++sampled) lit += pixels[i] != 0 ? 1u : 0u;
  return lit * 10 >= sampled * 3;
}

// Whether a window is black but for a line of text in its top-left corner
// (the program's "bad archive link") and its outermost three pixels (where
// the configuration screen draws its outline first, 2 pixels in at the
// bottom).
bool windowShowsOnlyATopLeftLine(const Screen::Window& window) {
  const auto pixels = Screen::get().grab(window.x, window.y, window.width, window.height);
  bool text = false;
  for (int y = 3; y < window.height - 3; ++y) {
    for (int x = 3; x < window.width - 3; ++x) {
      if (pixels[static_cast<std::size_t>(y * window.width + x)] == 0) continue;
      if (x >= 200 || y >= 40) return false;
      text = true;
    }
  }
  return text;
}

// The windows a program opens: the mapped top-level windows of a size that
// were not there when this was made (Wine keeps windows of its own, one of
// them as large as the screen).
class NewWindows {
 public:
  NewWindows() {
    for (const auto& w : Screen::get().topLevelWindows()) before_.push_back(w.id);
  }
  // Bottom to top.
  std::vector<Screen::Window> ofSize(int width, int height) const {
    std::vector<Screen::Window> found;
    for (const auto& w : Screen::get().topLevelWindows()) {
      if (w.width == width && w.height == height && std::find(before_.begin(), before_.end(), w.id) == before_.end()) {
        found.push_back(w);
      }
    }
    return found;
  }
  std::optional<Screen::Window> topOfSize(int width, int height) const {
    const auto found = ofSize(width, height);
    if (found.empty()) return std::nullopt;
    return found.back();
  }

 private:
  std::vector<unsigned long> before_;
};

// The show: started, full screen, and showing slides.
::testing::AssertionResult showIsRunning(Program& show, const NewWindows& windows, Target target) {
  if (!waitUntil([&] { return !show.running() || (windows.topOfSize(1024, 768) && screenShowsAPicture()); },
                 startSeconds(target), 0.1)) {
    return ::testing::AssertionFailure() << "no slide on the screen\n" << show.output();
  }
  if (!show.running()) return ::testing::AssertionFailure() << "the show ended\n" << show.output();
  return ::testing::AssertionSuccess();
}

// The show is still fading slides in: the screen changes within a cycle
// or two, and the show still runs.
::testing::AssertionResult showGoesOn(Program& show) {
  const auto before = Screen::get().grab(0, 0, 1024, 768);
  const bool changed = waitUntil([&] { return Screen::get().grab(0, 0, 1024, 768) != before; }, 5.0, 0.1);
  if (!show.running()) return ::testing::AssertionFailure() << "the show ended\n" << show.output();
  if (!changed) return ::testing::AssertionFailure() << "the screen stood still for 5 s";
  return ::testing::AssertionSuccess();
}

// --- the display mode, through XRandR ------------------------------------


// --- the preview's host (Linux) ------------------------------------------

// A window of the test's own for the preview to live in, at the screen's
// bottom right, out of the way of the show's and the message's pixels.
class HostWindow {
 public:
  HostWindow() {
    Display* x = Screen::get().x();
    id_ = XCreateSimpleWindow(x, DefaultRootWindow(x), 800, 600, 200, 150, 0, 0, 0xFFFFFF);
    XMapWindow(x, id_);
    XSync(x, False);
  }
  ~HostWindow() { destroy(); }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  std::string handle() const { return std::to_string(id_); }

  std::size_t children() const {
    ::Window root = 0, parent = 0;
    ::Window* list = nullptr;
    unsigned count = 0;
    if (!XQueryTree(Screen::get().x(), id_, &root, &parent, &list, &count)) return 0;
    if (list) XFree(list);
    return count;
  }

  void destroy() {
    if (id_ == 0) return;
    XDestroyWindow(Screen::get().x(), id_);
    XSync(Screen::get().x(), False);
    id_ = 0;
  }

 private:
  ::Window id_ = 0;
};

// The names in a folder, without the harness's own output files.
std::vector<std::string> entriesBesideOutput(const std::string& dir) {
  std::vector<std::string> names = Sandbox::listDir(dir);
  std::erase_if(names, [](const std::string& n) { return n.rfind("output-", 0) == 0; });
  return names;
}

class FaultSystemTest : public ::testing::TestWithParam<Target> {};

// --- the temporary directory -----------------------------------------------

struct UnusableTemp {
  const char* what;
  std::function<std::string(const Sandbox&)> make;  // makes it, gives TMP
};

std::vector<UnusableTemp> unusableTemps() {
  return {
      {"a folder that does not exist", [](const Sandbox& s) { return s.dir() + "/missing"; }},
      {"a path below a regular file",
       [](const Sandbox& s) {
         writeFile(s.dir() + "/plain", "a file, not a folder");
         return s.dir() + "/plain/tmp";
       }},
  };
}

std::string windowsPath(const std::string& path) {
  std::string converted = "Z:" + path;
  std::replace(converted.begin(), converted.end(), '/', '\\');
  return converted;
}

// Starts the program with `argument` and "TMP" set to `tmp`. Wine sets
// "TMP" itself for the programs it starts, so there cmd sets it and starts
// the program.
void startWithTemp(std::optional<Program>& program, const Sandbox& sandbox, const std::string& argument,
                   const std::string& tmp) {
  if (sandbox.target() == Target::Linux) {
    program.emplace(sandbox, std::vector<std::string>{argument}, std::map<std::string, std::string>{{"TMP", tmp}});
  } else {
    program.emplace(sandbox, "cmd",
                    std::vector<std::string>{"/c", "set TMP=" + windowsPath(tmp) + "&& start /wait " +
                                                       windowsPath(sandbox.program()) + " " + argument});
  }
}

// The codec file cannot be written, so no codec can be loaded: the show and
// the configuration screen say "bad archive link" on their surface, wait
// for a key and end with 0.
TEST_P(FaultSystemTest, WithoutAUsableTemporaryDirectoryTheArchiveIsBadAndAKeyEnds) {
  const struct {
    const char* what;
    const char* argument;
    int width, height;
  } modes[] = {{"the configuration screen", "/c", 384, 240}, {"the show", "/s", 1024, 768}};
  for (const auto& mode : modes) {
    for (const UnusableTemp& temp : unusableTemps()) {
      SCOPED_TRACE(std::string(mode.what) + ", " + temp.what);
      Sandbox sandbox(GetParam());
      const std::string tmp = temp.make(sandbox);
      const auto before = entriesBesideOutput(sandbox.dir());
      const NewWindows windows;
      std::optional<Program> program;
      startWithTemp(program, sandbox, mode.argument, tmp);
      std::optional<Screen::Window> window;
      ASSERT_TRUE(waitUntil(
          [&] {
            window = windows.topOfSize(mode.width, mode.height);
            return !program->running() || (window && windowShowsOnlyATopLeftLine(*window));
          },
          startSeconds(GetParam()), 0.1))
          << program->output();
      // It waits: no key, no end.
      ASSERT_FALSE(program->waitExit(1.5).has_value()) << program->output();
      EXPECT_TRUE(windowShowsOnlyATopLeftLine(*window));
      Screen::get().tapKey("space");
      EXPECT_EQ(program->waitExit(kEndSeconds), 0) << program->output();
      // Nothing was written anywhere but the settings file.
      auto after = entriesBesideOutput(sandbox.dir());
      std::erase(after, "velmorascr.ini");
      EXPECT_EQ(after, before);
    }
  }
}

// In the preview there is no surface for the message: it goes to the
// developer output, and the preview ends at once with 0, its host's window
// untouched.
TEST(LinuxFaultSystemTest, PreviewWithoutAUsableTemporaryDirectoryEndsAtOnceWithZero) {
  for (const UnusableTemp& temp : unusableTemps()) {
    SCOPED_TRACE(temp.what);
    Sandbox sandbox(Target::Linux);
    const std::string tmp = temp.make(sandbox);
    HostWindow host;
    Program preview(sandbox, {"/p", host.handle()}, {{"TMP", tmp}});
    const auto code = preview.waitExit(5.0);
    ASSERT_TRUE(code.has_value()) << preview.output();
    EXPECT_EQ(*code, 0) << preview.output();
    EXPECT_NE(preview.output().find("bad archive link"), std::string::npos) << preview.output();
    EXPECT_EQ(host.children(), 0u);
  }
}

// --- a codec file planted by someone else ----------------------------------

// A codec file that another account could have written is never loaded
// (platform/library.h). Here the program replaces it with its own: a new
// file of its own account that no one else may write, put in place by a
// rename, so that a symbolic link is replaced and not followed.
TEST(LinuxFaultSystemTest, PlantedCodecFileIsReplacedNotLoaded) {
  if (geteuid() != 0) GTEST_SKIP() << "planting a file of another account needs root";
  const std::string planted = "not a library: planted by someone else";
  const struct {
    const char* what;
    std::function<void(const std::string& codec, const std::string& victim)> plant;
  } cases[] = {
      {"owned by nobody",
       [&](const std::string& codec, const std::string&) {
         writeFile(codec, planted);
         ASSERT_EQ(chown(codec.c_str(), 65534, 65534), 0);
       }},
      {"writable by others",
       [&](const std::string& codec, const std::string&) {
         writeFile(codec, planted);
         ASSERT_EQ(chmod(codec.c_str(), 0666), 0);
       }},
      {"a symbolic link to another file",
       [&](const std::string& codec, const std::string& victim) { fs::create_symlink(victim, codec); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox sandbox(Target::Linux);
    const std::string codec = sandbox.tempDir() + "/ijl10.dll";
    const std::string victim = sandbox.dir() + "/victim";
    writeFile(victim, planted);
    ASSERT_NO_FATAL_FAILURE(c.plant(codec, victim));

    const NewWindows windows;
    Program show(sandbox, {"/s"});
    ASSERT_TRUE(showIsRunning(show, windows, Target::Linux));
    show.signal(SIGTERM);
    EXPECT_EQ(show.waitExit(kEndSeconds), 0) << show.output();

    struct stat info{};
    ASSERT_EQ(lstat(codec.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_uid, geteuid());
    EXPECT_EQ(info.st_mode & (S_IWGRP | S_IWOTH), 0u);
    EXPECT_NE(readFile(codec), planted);
    EXPECT_EQ(readFile(victim), planted) << "the link was followed";
    // No half-written file is left beside it.
    EXPECT_EQ(Sandbox::listDir(sandbox.tempDir()), std::vector<std::string>{"ijl10.dll"});
  }
}

// An ordinary account with a shared, sticky temporary folder, where another
// account has planted the codec file: the program may not replace a file
// of another account there, and does not load it. It says "bad archive
// link" and waits for a key, like with any archive it cannot use; the
// planted file stays as it was.
TEST(LinuxFaultSystemTest, CodecFilePlantedInASharedFolderIsNeverLoaded) {
  if (geteuid() != 0) GTEST_SKIP() << "running as another account needs root";
  const std::string planted = "not a library: planted by someone else";
  for (const bool link : {false, true}) {
    SCOPED_TRACE(link ? "a symbolic link" : "a file");
    Sandbox sandbox(Target::Linux);
    // The program runs as nobody; root is the other account.
    ASSERT_EQ(chmod(sandbox.dir().c_str(), 0755), 0);
    ASSERT_EQ(chmod(sandbox.tempDir().c_str(), 01777), 0);
    const std::string codec = sandbox.tempDir() + "/ijl10.dll";
    const std::string victim = sandbox.dir() + "/victim";
    writeFile(victim, planted);
    if (link) {
      fs::create_symlink(victim, codec);
    } else {
      writeFile(codec, planted);
    }
    const NewWindows windows;
    Program show(sandbox, "setpriv",
                 {"--reuid=65534", "--regid=65534", "--clear-groups", sandbox.program(), "/s"});
    std::optional<Screen::Window> window;
    ASSERT_TRUE(waitUntil(
        [&] {
          window = windows.topOfSize(1024, 768);
          return !show.running() || (window && windowShowsOnlyATopLeftLine(*window));
        },
        startSeconds(Target::Linux), 0.1))
        << show.output();
    ASSERT_FALSE(show.waitExit(1.0).has_value()) << show.output();
    Screen::get().tapKey("space");
    EXPECT_EQ(show.waitExit(kEndSeconds), 0) << show.output();
    EXPECT_EQ(readFile(codec), planted);
    EXPECT_EQ(readFile(victim), planted);
    EXPECT_EQ(fs::is_symlink(codec), link);
    EXPECT_EQ(Sandbox::listDir(sandbox.tempDir()), std::vector<std::string>{"ijl10.dll"}) << "a file was left";
  }
}

// --- the settings path is a directory ----------------------------------------

// Nothing can be read from it and nothing written over it: the show runs on
// the start values, and the directory stays as it was.
TEST_P(FaultSystemTest, SettingsPathThatIsADirectoryIsLeftAloneAndTheShowRuns) {
  Sandbox sandbox(GetParam());
  fs::create_directory(sandbox.settingsFile());
  const auto before = entriesBesideOutput(sandbox.dir());
  const NewWindows windows;
  Program show(sandbox, {"/s"});
  ASSERT_TRUE(showIsRunning(show, windows, GetParam()));
  EXPECT_TRUE(showGoesOn(show));
  Screen::get().tapKey("space");
  EXPECT_EQ(show.waitExit(kEndSeconds), 0) << show.output();
  EXPECT_TRUE(fs::is_directory(sandbox.settingsFile()));
  EXPECT_TRUE(fs::is_empty(sandbox.settingsFile()));
  EXPECT_EQ(entriesBesideOutput(sandbox.dir()), before) << "a stray file was left";
}

// "Save" cannot write the file: the configuration screen ends with 0 all
// the same, and leaves nothing behind. Beside it, the same click on a
// settings file the program can replace: it is written anew, which shows
// that the click is "Save".
TEST_P(FaultSystemTest, SaveOverASettingsPathThatIsADirectoryEndsWithZero) {
  // Positions 50, 25, 75 with line feeds alone; "Save" writes CR LF.
  const std::string written = "[Velmora Slides Screensaver version 2016.june.09 ini file]\n"
                              "videomax= 50\ndarkmax= 25\ndotmode= 75\n";
  const std::string saved = "[Velmora Slides Screensaver version 2016.june.09 ini file]\r\n"
                            "videomax= 50\r\ndarkmax= 25\r\ndotmode= 75\r\n";
  for (const bool directory : {true, false}) {
    SCOPED_TRACE(directory ? "a directory" : "a file");
    Sandbox sandbox(GetParam());
    if (directory) {
      fs::create_directory(sandbox.settingsFile());
    } else {
      writeFile(sandbox.settingsFile(), written);
    }
    const auto before = entriesBesideOutput(sandbox.dir());
    // The pointer away from where the window opens: it must not start out
    // over "Save".
    Screen::get().movePointer(5, 5);
    const NewWindows windows;
    Program config(sandbox, {"/c"});
    std::optional<Screen::Window> window;
    ASSERT_TRUE(waitUntil([&] { return (window = windows.topOfSize(384, 240)).has_value() || !config.running(); },
                          startSeconds(GetParam()), 0.1))
        << config.output();
    ASSERT_TRUE(window) << "exit code " << config.waitExit(0).value_or(-1) << "\n" << config.output();
    // "Save" spans window pixels (304,180)-(367,195).
    Screen& screen = Screen::get();
    screen.movePointer(window->x + 335, window->y + 188);
    waitUntil([] { return false; }, 0.3);
    screen.pressButton(1);
    waitUntil([] { return false; }, 0.3);
    screen.releaseButton(1);
    EXPECT_EQ(config.waitExit(kEndSeconds), 0) << config.output();
    if (directory) {
      EXPECT_TRUE(fs::is_directory(sandbox.settingsFile()));
      EXPECT_TRUE(fs::is_empty(sandbox.settingsFile()));
    } else {
      EXPECT_EQ(readFile(sandbox.settingsFile()), saved);
    }
    EXPECT_EQ(entriesBesideOutput(sandbox.dir()), before) << "a stray file was left";
  }
}

// --- two instances share the codec file --------------------------------------

// A second instance writes the codec file again while the first has it
// loaded. The first must go on undisturbed: on Linux the new file replaces
// the old by a rename, and the first keeps the one it mapped; on Windows
// the loaded file cannot be written, and the second loads it as it is.
TEST(LinuxFaultSystemTest, PreviewAndShowShareTheCodecFileUndisturbed) {
  for (const bool previewFirst : {true, false}) {
    SCOPED_TRACE(previewFirst ? "the preview first" : "the show first");
    Sandbox sandbox(Target::Linux);
    HostWindow host;
    std::optional<Program> preview;
    std::optional<Program> show;
    auto startPreview = [&] {
      preview.emplace(sandbox, std::vector<std::string>{"/p", host.handle()});
      ASSERT_TRUE(waitUntil([&] { return host.children() == 1 || !preview->running(); }, 5.0))
          << preview->output();
      ASSERT_TRUE(preview->running()) << preview->output();
    };
    auto startShow = [&] {
      const NewWindows windows;
      show.emplace(sandbox, std::vector<std::string>{"/s"});
      ASSERT_TRUE(showIsRunning(*show, windows, Target::Linux));
    };
    if (previewFirst) {
      ASSERT_NO_FATAL_FAILURE(startPreview());
      ASSERT_NO_FATAL_FAILURE(startShow());
    } else {
      ASSERT_NO_FATAL_FAILURE(startShow());
      ASSERT_NO_FATAL_FAILURE(startPreview());
    }
    EXPECT_TRUE(showGoesOn(*show));
    EXPECT_TRUE(preview->running()) << preview->output();
    EXPECT_EQ(host.children(), 1u);

    show->signal(SIGTERM);
    EXPECT_EQ(show->waitExit(kEndSeconds), 0) << show->output();
    EXPECT_TRUE(preview->running()) << preview->output();
    host.destroy();
    EXPECT_EQ(preview->waitExit(2.0), 0) << preview->output();
  }
}

// A second show starts while the first runs. The second comes to the front,
// so the first may end, as any show does whose window is no longer the
// active one; if it does, it ends with 0. Once the first has gone, the
// second shows its slides on alone, and ends with 0 on the close command.
TEST_P(FaultSystemTest, TwoShowsShareTheCodecFile) {
  Sandbox sandbox(GetParam());
  const NewWindows beforeFirst;
  Program first(sandbox, {"/s"});
  ASSERT_TRUE(showIsRunning(first, beforeFirst, GetParam()));
  const auto firstWindow = beforeFirst.topOfSize(1024, 768);
  const NewWindows beforeSecond;
  Program second(sandbox, {"/s"});
  ASSERT_TRUE(waitUntil([&] { return !second.running() || beforeSecond.topOfSize(1024, 768); },
                        startSeconds(GetParam()), 0.1))
      << second.output();
  ASSERT_TRUE(second.running()) << second.output();
  if (first.running()) requestClose(firstWindow->id);
  EXPECT_EQ(first.waitExit(kEndSeconds), 0) << first.output();
  ASSERT_TRUE(showIsRunning(second, beforeSecond, GetParam()));
  EXPECT_TRUE(showGoesOn(second));
  requestClose(beforeSecond.topOfSize(1024, 768)->id);
  EXPECT_EQ(second.waitExit(kEndSeconds), 0) << second.output();
}

// --- ending the show from outside ---------------------------------------------

// The display runs at 800 x 600 of its own; the show takes it to 1024 x 768,
// and every way out gives the 800 x 600 back with exit code 0.
class ShowEndSystemTest : public FaultSystemTest {
 protected:
  void SetUp() override { setMode(800, 600); }
  void TearDown() override { setMode(1024, 768); }
};

TEST_P(ShowEndSystemTest, EveryWayOutEndsWithZeroAndGivesTheModeBack) {
  const struct {
    const char* way;
    int signal;  // 0: the window's close command
  } ways[] = {{"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}, {"SIGHUP", SIGHUP}, {"the close command", 0}};
  for (const auto& way : ways) {
    // Wine ends a Windows program at once on a signal: it has no way to
    // answer one.
    if (way.signal != 0 && GetParam() == Target::Windows) continue;
    SCOPED_TRACE(way.way);
    ASSERT_EQ(currentMode().width, 800);
    Sandbox sandbox(GetParam());
    const NewWindows windows;
    Program show(sandbox, {"/s"});
    std::optional<Screen::Window> window;
    ASSERT_TRUE(waitUntil(
        [&] {
          window = windows.topOfSize(1024, 768);
          return !show.running() || (window && currentMode().width == 1024);
        },
        startSeconds(GetParam()), 0.1))
        << show.output();
    ASSERT_TRUE(show.running()) << show.output();
    EXPECT_EQ(currentMode().height, 768);
    // Into the slide cycle.
    waitUntil([] { return false; }, 2.0);
    if (way.signal != 0) {
      show.signal(way.signal);
    } else {
      requestClose(window->id);
    }
    EXPECT_EQ(show.waitExit(kEndSeconds), 0) << show.output();
    EXPECT_TRUE(waitUntil([] { return currentMode().width == 800; }, 2.0));
    EXPECT_EQ(currentMode().height, 600);
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FaultSystemTest, ::testing::Values(Target::Linux, Target::Windows),
                         [](const auto& p) { return targetName(p.param); });
INSTANTIATE_TEST_SUITE_P(Targets, ShowEndSystemTest, ::testing::Values(Target::Linux, Target::Windows),
                         [](const auto& p) { return targetName(p.param); });

}  // namespace
}  // namespace systest
