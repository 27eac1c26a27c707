#include "settings/text_lines.h"

namespace velmora {
namespace {

constexpr int kCarriageReturn = '\r';
constexpr int kLineFeed = '\n';
constexpr int kEndOfText = 0x1A;

}  // namespace

int TextLineReader::peekByte() {
  if (at_ == filled_) {
    if (!file_) return kEnd;
    filled_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    at_ = 0;
    if (filled_ == 0) return kEnd;  // the end of the file, or a read error
  }
  return buffer_[at_];
}

int TextLineReader::takeByte() {
  const int byte = peekByte();
  if (byte != kEnd) ++at_;
  return byte;
}

bool TextLineReader::next(std::string& line) {
  line.clear();
  if (ended_) return false;
  bool any = false;
  for (;;) {
    const int byte = takeByte();
    if (byte == kEnd || byte == kEndOfText) {
      ended_ = true;
      break;
    }
    any = true;
    if (byte == kCarriageReturn && peekByte() == kLineFeed) {
      takeByte();  // CR LF is one line end
      break;
    }
    if (byte == kLineFeed) break;
    line.push_back(static_cast<char>(byte));
  }
  // A CR left standing last (the first of CR CR LF, or one just before the
  // end of the text) is no part of the line either.
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

}  // namespace velmora
