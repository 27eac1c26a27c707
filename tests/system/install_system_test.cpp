// The installed program: `cmake --install` into a fresh prefix gives a program
// that runs the show from there, keeps its settings beside itself, and still
// shows the slides (with the default settings) when it cannot write there.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/system/harness.h"

namespace fs = std::filesystem;

namespace systest {
namespace {

// A prefix directory of its own for one test, with the build installed into it.
class InstalledTree {
 public:
  InstalledTree() {
    std::string pattern = (fs::temp_directory_path() / "velmora-install-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    prefix_ = pattern;
    const std::string log = prefix_ + ".log";
    const std::string command = "'" + std::string(VELMORA_CMAKE_COMMAND) + "' --install '" +
                                std::string(VELMORA_LINUX_BUILD_DIR) + "' --prefix '" + prefix_ + "' >'" + log +
                                "' 2>&1";
    status_ = std::system(command.c_str());
    installLog_ = readFile(log);
    fs::remove(log);
  }
  ~InstalledTree() {
    std::error_code ignored;
    fs::permissions(bin(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(prefix_, ignored);
  }
  InstalledTree(const InstalledTree&) = delete;
  InstalledTree& operator=(const InstalledTree&) = delete;

  bool installed() const { return status_ == 0; }
  const std::string& log() const { return installLog_; }
  const std::string& prefix() const { return prefix_; }
  std::string bin() const { return prefix_ + "/bin"; }
  std::string program() const { return bin() + "/velmorascr"; }
  std::string docs() const { return prefix_ + "/share/doc/velmorascr"; }

 private:
  std::string prefix_;
  int status_ = -1;
  std::string installLog_;
};

// Share of the screen's pixels that are clearly not black. Every built-in
// slide is at least 84 % such pixels; a black or dark screen is nowhere near.
double litShare() {
  const auto pixels = Screen::get().grab(0, 0, 1024, 768);
  std::size_t lit = 0;
  for (const std::uint32_t p : pixels) {
    if (((p >> 16) & 0xFF) > 24 || ((p >> 8) & 0xFF) > 24 || (p & 0xFF) > 24) ++lit;
  }
  return static_cast<double>(lit) / static_cast<double>(pixels.size());
}

// Runs the installed program's show until a slide is on the screen, then ends
// it with a key; checks that it ended at once with exit code 0.
void showSlidesAndEndWithAKey(const InstalledTree& tree) {
  Sandbox sandbox(Target::Linux);  // the temporary directory and the output files
  Program show(sandbox, tree.program(), {"/s"});
  const bool lit = waitUntil([&show] { return !show.running() || litShare() > 0.75; }, 10.0, 0.1);
  ASSERT_TRUE(show.running()) << "the show ended by itself\n" << show.output();
  EXPECT_TRUE(lit) << "no slide on the screen; lit share " << litShare() << "\n" << show.output();
  // The codec file that the show wrote proves it got as far as its archive.
  EXPECT_TRUE(fs::exists(sandbox.tempDir() + "/ijl10.dll"));
  Screen::get().tapKey("a");
  const auto code = show.waitExit(5.0);
  ASSERT_TRUE(code.has_value()) << "the show went on after a key";
  EXPECT_EQ(*code, 0) << show.output();
}

TEST(InstallSystemTest, InstalledProgramRunsTheShowAndKeepsItsSettingsBesideItself) {
  InstalledTree tree;
  ASSERT_TRUE(tree.installed()) << tree.log();
  ASSERT_TRUE(fs::is_regular_file(tree.program()));
  EXPECT_EQ(access(tree.program().c_str(), X_OK), 0);
  for (const auto& [installed, source] : std::vector<std::pair<std::string, std::string>>{
           {"LICENSE", "LICENSE"},
           {"LICENSE.font", "resources/font/LICENSE"},
           {"CREDITS", "resources/slides/CREDITS"},
           {"README.md", "README.md"}}) {
    const std::string path = tree.docs() + "/" + installed;
    ASSERT_TRUE(fs::is_regular_file(path)) << path;
    EXPECT_EQ(readFile(path), readFile(sourceDir() + "/" + source)) << path;
  }

  showSlidesAndEndWithAKey(tree);

  // The settings file was written beside the installed program, with the
  // defaults, and nothing else came into the program's folder.
  EXPECT_EQ(readFile(tree.bin() + "/velmorascr.ini"),
            "[Velmora Slides Screensaver version 2016.june.09 ini file]\r\n"
            "videomax= 0\r\ndarkmax= 0\r\ndotmode= 0\r\n");
  EXPECT_EQ(Sandbox::listDir(tree.bin()), (std::vector<std::string>{"velmorascr", "velmorascr.ini"}));
}

TEST(InstallSystemTest, InstalledProgramThatCannotWriteBesideItselfStillShowsSlides) {
  InstalledTree tree;
  ASSERT_TRUE(tree.installed()) << tree.log();
  // The settings file can be neither read nor created: its name is taken by
  // a directory (this holds for root too), and the folder is read-only (which
  // binds every other user).
  const std::string settings = tree.bin() + "/velmorascr.ini";
  ASSERT_TRUE(fs::create_directory(settings));
  fs::permissions(tree.bin(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                  fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);

  showSlidesAndEndWithAKey(tree);

  EXPECT_TRUE(fs::is_directory(settings));
  EXPECT_TRUE(fs::is_empty(settings));
  EXPECT_EQ(Sandbox::listDir(tree.bin()), (std::vector<std::string>{"velmorascr", "velmorascr.ini"}));
}

}  // namespace
}  // namespace systest
