// The arguments as the C runtime split them, for every real target: on
// Windows that is the runtime's standard splitting of the command line, on
// Linux the argument vector itself.
#include "platform/process.h"

namespace platform {
namespace {
std::vector<std::string>& storedArguments() {
  static std::vector<std::string> stored;
  return stored;
}
}  // namespace

void startProcess(int argc, char** argv) {
  storedArguments().clear();
  for (int i = 1; i < argc; ++i) storedArguments().emplace_back(argv[i]);
}

const std::vector<std::string>& arguments() { return storedArguments(); }

}  // namespace platform
