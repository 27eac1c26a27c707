// The command-line reader on arbitrary arguments: the input is the
// arguments, each ended by a NUL byte (the last one may lack it).
//
// Beyond the sanitizers' findings it checks the joined text against its
// definition, the mode against the rule (a "/c" anywhere, else no "/p",
// else the handle after the first "/p"), and the handle against the C
// library's reading of the same number (reference_number.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/mode_selection.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/reference_number.h"

namespace {

std::vector<std::string> argumentsOf(std::string_view input) {
  std::vector<std::string> arguments;
  while (!input.empty()) {
    const std::size_t end = input.find('\0');
    arguments.emplace_back(input.substr(0, end));
    if (end == std::string_view::npos) break;
    input.remove_prefix(end + 1);
  }
  return arguments;
}

bool isAsciiUpper(char c) { return c >= 'A' && c <= 'Z'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> arguments = argumentsOf(input);

  const std::string text = velmora::commandTextFrom(arguments);
  std::string joined;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) joined += ' ';
    joined += arguments[i];
  }
  FUZZ_CHECK(text.size() == joined.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    FUZZ_CHECK(!isAsciiUpper(text[i]));
    const char expected = isAsciiUpper(joined[i]) ? static_cast<char>(joined[i] - 'A' + 'a') : joined[i];
    FUZZ_CHECK(text[i] == expected);
  }

  const velmora::ModeChoice choice = velmora::selectMode(text);
  const std::size_t p = text.find("/p");
  if (text.find("/c") != std::string::npos) {
    FUZZ_CHECK(choice.mode == velmora::RunMode::Config);
  } else if (p == std::string::npos) {
    FUZZ_CHECK(choice.mode == velmora::RunMode::Show);
  } else {
    const std::int32_t handle = fuzzref::roundedInt32(std::string_view(text).substr(p + 2));
    if (handle == 0) {
      FUZZ_CHECK(choice.mode == velmora::RunMode::Exit);
    } else {
      FUZZ_CHECK(choice.mode == velmora::RunMode::Preview);
      FUZZ_CHECK(choice.hostWindow == handle);
    }
  }
  if (choice.mode != velmora::RunMode::Preview) FUZZ_CHECK(choice.hostWindow == 0);
  return 0;
}
