// The codec on arbitrary JPEG bytes, called as the program calls it: the
// parameter read, then the whole-image read into a DIB of the size it
// reported.
//
// The stream lies in a heap block of exactly its size, so that a read past
// its end is AddressSanitizer's to see. The DIB lies between guard bytes and
// has pad bytes after each row (0 to 3, chosen by the input's length); all
// of them start with a known pattern. The system decoder behind the codec is
// not instrumented, so these bytes are what shows a stray write from it.
// Checked after each read: what ijl.h promises.
//   - a parameter read that fails leaves width, height and channels 0; one
//     that succeeds gives a size of at least 1 x 1 and 1 or 3 channels;
//   - a DIB of the wrong size is refused and not touched;
//   - the guard and pad bytes are never written;
//   - a DIB is untouched after a refusal (size, kind of JPEG, structure),
//     and after a success every pixel is R, G, B, 255, grey when the
//     picture has one channel.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/ijl.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

constexpr unsigned char kPattern = 0xA5;
constexpr std::size_t kGuardBytes = 64;
// Larger pictures are read for their parameters only: the slides have
// 786,432 pixels, and a header may claim 4 billion.
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 21;

class GuardedDib {
 public:
  GuardedDib(int width, int height, int padBytes)
      : width_(width),
        height_(height),
        stride_(static_cast<std::size_t>(width) * 4 + static_cast<std::size_t>(padBytes)),
        bytes_(kGuardBytes + stride_ * static_cast<std::size_t>(height) + kGuardBytes, kPattern) {}

  unsigned char* first() { return bytes_.data() + kGuardBytes; }
  int padBytes() const { return static_cast<int>(stride_ - static_cast<std::size_t>(width_) * 4); }

  // Every byte outside the pixels still holds the pattern: the guards and
  // each row's pad bytes.
  bool marginsIntact() const {
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 4;
    if (!holdsPattern(0, kGuardBytes) || !holdsPattern(bytes_.size() - kGuardBytes, kGuardBytes)) return false;
    for (int y = 0; y < height_; ++y) {
      if (!holdsPattern(kGuardBytes + stride_ * static_cast<std::size_t>(y) + rowBytes, stride_ - rowBytes)) {
        return false;
      }
    }
    return true;
  }

  bool untouched() const { return holdsPattern(0, bytes_.size()); }

  // Every pixel's fourth byte is 255, and with one channel red = green = blue.
  bool pixelsWellFormed(int channels) const {
    for (int y = 0; y < height_; ++y) {
      const unsigned char* row = bytes_.data() + kGuardBytes + stride_ * static_cast<std::size_t>(y);
      for (int x = 0; x < width_; ++x) {
        const unsigned char* p = row + 4 * static_cast<std::size_t>(x);
        if (p[3] != 255) return false;
        if (channels == 1 && (p[0] != p[1] || p[1] != p[2])) return false;
      }
    }
    return true;
  }

 private:
  // The `count` bytes from `at` all hold the pattern: the first one does,
  // and each equals the next.
  bool holdsPattern(std::size_t at, std::size_t count) const {
    if (count == 0) return true;
    return bytes_[at] == kPattern && std::memcmp(bytes_.data() + at, bytes_.data() + at + 1, count - 1) == 0;
  }

  int width_;
  int height_;
  std::size_t stride_;
  std::vector<unsigned char> bytes_;
};

void describe(JPEG_CORE_PROPERTIES& record, GuardedDib& dib, int width, int height) {
  record.DIBBytes = dib.first();
  record.DIBWidth = width;
  record.DIBHeight = height;
  record.DIBChannels = 4;
  record.DIBColor = IJL_RGBA_FPX;
  record.DIBPadBytes = dib.padBytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > static_cast<std::size_t>(INT32_MAX)) return 0;
  // Exactly `size` bytes on the heap, none to spare.
  const std::unique_ptr<unsigned char[]> stream(new unsigned char[size == 0 ? 1 : size]);
  std::copy(data, data + size, stream.get());

  JPEG_CORE_PROPERTIES record;
  FUZZ_CHECK(ijlInit(&record) == IJL_OK);
  record.JPGBytes = stream.get();
  record.JPGSizeBytes = static_cast<int>(size);

  const IJLERR params = ijlRead(&record, IJL_JBUFF_READPARAMS);
  const int width = record.JPGWidth;
  const int height = record.JPGHeight;
  const int channels = record.JPGChannels;
  if (params != IJL_OK) {
    FUZZ_CHECK(params == IJL_NO_INPUT || params == IJL_BAD_STREAM || params == IJL_UNSUPPORTED_STREAM);
    FUZZ_CHECK(width == 0 && height == 0 && channels == 0);
    FUZZ_CHECK(ijlFree(&record) == IJL_OK);
    return 0;
  }
  FUZZ_CHECK(width >= 1 && height >= 1 && width <= 65535 && height <= 65535);
  FUZZ_CHECK(channels == 1 || channels == 3);
  if (std::int64_t{width} * height > kMaxPixels) {
    FUZZ_CHECK(ijlFree(&record) == IJL_OK);
    return 0;
  }

  GuardedDib dib(width, height, static_cast<int>(size % 4));

  // One row short: refused, before a byte is written.
  if (height > 1) {
    describe(record, dib, width, height - 1);
    const IJLERR wrongSize = ijlRead(&record, IJL_JBUFF_READWHOLEIMAGE);
    FUZZ_CHECK(wrongSize == IJL_SIZE_MISMATCH || wrongSize == IJL_BAD_STREAM || wrongSize == IJL_UNSUPPORTED_STREAM);
    FUZZ_CHECK(dib.untouched());
  }

  describe(record, dib, width, height);
  const IJLERR whole = ijlRead(&record, IJL_JBUFF_READWHOLEIMAGE);
  FUZZ_CHECK(dib.marginsIntact());
  switch (whole) {
    case IJL_OK:
      FUZZ_CHECK(dib.pixelsWellFormed(channels));
      break;
    case IJL_BAD_STREAM:
      // Corrupt coded data may leave part of a picture; nothing else.
      break;
    case IJL_UNSUPPORTED_STREAM:
    case IJL_SIZE_MISMATCH:
      FUZZ_CHECK(dib.untouched());
      break;
    default:
      ::fuzzcheck::fail("an expected status from the whole-image read", __FILE__, __LINE__);
  }
  FUZZ_CHECK(ijlFree(&record) == IJL_OK);
  return 0;
}
