// What a fuzz target does when the code it drives breaks a promise that no
// sanitizer sees: it says which one and aborts, which libFuzzer reports as a
// crash and keeps the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzzcheck {

[[noreturn]] inline void fail(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "FUZZ CHECK FAILED: %s (%s:%d)\n", condition, file, line);
  std::abort();
}

}  // namespace fuzzcheck

#define FUZZ_CHECK(condition) ((condition) ? static_cast<void>(0) : ::fuzzcheck::fail(#condition, __FILE__, __LINE__))
