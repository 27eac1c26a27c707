// Reading a file line by line as text, the same on every target: CR LF
// arrives as LF, a byte 0x1A ends the text, and a line may be of any length
// and hold any byte, NUL included. A read error ends the text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <string>

namespace velmora {

class TextLineReader {
 public:
  // `file` is open for reading in binary mode; the reader does not close it.
  explicit TextLineReader(std::FILE* file) : file_(file) {}

  // The next line without its line end (the LF, a CR before it, or a CR
  // that stands last before the end of the text). False once the text has
  // ended and no byte of a new line was left.
  bool next(std::string& line);

 private:
  static constexpr int kEnd = -1;
  int peekByte();  // the next byte (0..255) or kEnd
  int takeByte();

  std::FILE* file_;
  std::array<unsigned char, 4096> buffer_{};
  std::size_t at_ = 0;
  std::size_t filled_ = 0;
  bool ended_ = false;
};

}  // namespace velmora
