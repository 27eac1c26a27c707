// The codec library ijl10.dll, loaded and called the way the program does:
// by path, through its six entry points. On Linux it decodes with
// libjpeg-turbo, on Windows (under Wine here) with the Windows Imaging
// Component.
//
// Every decode goes into a guarded DIB: canary bytes before and after the
// picture and in the pad bytes between its rows show that the codec writes
// the picture's pixels and nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "codec/ijl.h"
#include "platform/library.h"

#ifndef _WIN32
#include <turbojpeg.h>
#endif

namespace {

using Bytes = std::vector<unsigned char>;

std::string sourcePath(const std::string& relative) { return std::string(VELMORA_SOURCE_DIR) + "/" + relative; }

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes fixture(const std::string& name) {
  Bytes bytes = readFile(sourcePath("tests/fixtures/jpeg/" + name));
  EXPECT_FALSE(bytes.empty()) << "missing fixture " << name;
  return bytes;
}

std::string slideName(int number) {
  return std::string("slide") + static_cast<char>('0' + number / 10) + static_cast<char>('0' + number % 10) + ".jpg";
}

// The six entry points of the built library, resolved once.
struct Codec {
  IjlInitFn init = nullptr;
  IjlFreeFn free = nullptr;
  IjlReadFn read = nullptr;
  IjlWriteFn write = nullptr;
  IjlGetLibVersionFn version = nullptr;
  IjlErrorStrFn errorStr = nullptr;

  bool complete() const { return init && free && read && write && version && errorStr; }
};

template <typename Fn>
Fn entryPoint(void* library, const char* name) {
  return reinterpret_cast<Fn>(platform::findSymbol(library, name));
}

const Codec& codec() {
  static const Codec loaded = [] {
    Codec c;
    void* library = platform::loadLibrary(VELMORA_CODEC_PATH);
    if (library == nullptr) return c;
    c.init = entryPoint<IjlInitFn>(library, "ijlInit");
    c.free = entryPoint<IjlFreeFn>(library, "ijlFree");
    c.read = entryPoint<IjlReadFn>(library, "ijlRead");
    c.write = entryPoint<IjlWriteFn>(library, "ijlWrite");
    c.version = entryPoint<IjlGetLibVersionFn>(library, "ijlGetLibVersion");
    c.errorStr = entryPoint<IjlErrorStrFn>(library, "ijlErrorStr");
    return c;
  }();
  return loaded;
}

class CodecTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(codec().complete()) << "cannot load all entry points of " << VELMORA_CODEC_PATH; }
};

constexpr unsigned char kCanary = 0xA5;
constexpr std::size_t kGuardBytes = 64;

// A DIB of width x height pixels with `pad` bytes after each row, inside a
// buffer that holds canaries everywhere else, and canaries in the pixels
// too until something writes them.
class GuardedDib {
 public:
  GuardedDib(int width, int height, int pad)
      : width_(width), height_(height), stride_(static_cast<std::size_t>(width) * 4 + static_cast<std::size_t>(pad)) {
    const std::size_t extent =
        height > 0 ? stride_ * static_cast<std::size_t>(height - 1) + static_cast<std::size_t>(width) * 4 : 0;
    buffer_.assign(kGuardBytes + extent + kGuardBytes, kCanary);
  }

  unsigned char* first() { return buffer_.data() + kGuardBytes; }

  bool isPixelByte(std::size_t index) const {
    if (index < kGuardBytes) return false;
    const std::size_t at = index - kGuardBytes;
    const std::size_t row = at / stride_;
    return row < static_cast<std::size_t>(height_) && at % stride_ < static_cast<std::size_t>(width_) * 4;
  }

  // The number of bytes outside the pixels that no longer hold the canary.
  int bytesWrittenOutside() const {
    int written = 0;
    for (std::size_t i = 0; i < buffer_.size(); ++i) {
      if (!isPixelByte(i) && buffer_[i] != kCanary) ++written;
    }
    return written;
  }

  bool untouched() const {
    for (unsigned char b : buffer_) {
      if (b != kCanary) return false;
    }
    return true;
  }

  std::array<int, 4> pixel(int x, int y) const {
    const unsigned char* p =
        buffer_.data() + kGuardBytes + stride_ * static_cast<std::size_t>(y) + static_cast<std::size_t>(x) * 4;
    return {p[0], p[1], p[2], p[3]};
  }

  // The pixels as rows of width * 4 bytes, without the pads.
  Bytes packedPixels() const {
    Bytes packed;
    for (int y = 0; y < height_; ++y) {
      const auto* row = buffer_.data() + kGuardBytes + stride_ * static_cast<std::size_t>(y);
      packed.insert(packed.end(), row, row + static_cast<std::ptrdiff_t>(width_) * 4);
    }
    return packed;
  }

 private:
  int width_;
  int height_;
  std::size_t stride_;
  Bytes buffer_;
};

// One initialised record, released at the end of the scope.
class Record {
 public:
  Record() { status_ = codec().init(&props_); }
  ~Record() { codec().free(&props_); }
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;

  IJLERR initStatus() const { return status_; }
  JPEG_CORE_PROPERTIES& props() { return props_; }

  void setStream(const Bytes& bytes) {
    props_.JPGBytes = bytes.data();
    props_.JPGSizeBytes = static_cast<int>(bytes.size());
  }

  // The whole-image read as the program sets it up, into `dib` described
  // as dibWidth x dibHeight with `pad` bytes after each row.
  IJLERR decode(const Bytes& bytes, GuardedDib& dib, int dibWidth, int dibHeight, int pad) {
    setStream(bytes);
    props_.JPGColor = IJL_YCBCR;
    props_.DIBColor = IJL_RGBA_FPX;
    props_.DIBWidth = dibWidth;
    props_.DIBHeight = dibHeight;
    props_.DIBChannels = 4;
    props_.DIBBytes = dib.first();
    props_.DIBPadBytes = pad;
    return codec().read(&props_, IJL_JBUFF_READWHOLEIMAGE);
  }

 private:
  JPEG_CORE_PROPERTIES props_{};
  IJLERR status_ = IJL_OK;
};

// Decodes a fixture at its own size; fails the test unless it decodes.
GuardedDib decodeFixture(const std::string& name, int width, int height, int pad) {
  GuardedDib dib(width, height, pad);
  Record record;
  EXPECT_EQ(record.decode(fixture(name), dib, width, height, pad), IJL_OK) << name;
  EXPECT_EQ(dib.bytesWrittenOutside(), 0) << name;
  return dib;
}

// --- the library's face ----------------------------------------------------

TEST_F(CodecTest, EncodingIsRefusedAndVersionAndTextsAreGiven) {
  JPEG_CORE_PROPERTIES props{};
  EXPECT_EQ(codec().write(&props, IJL_JBUFF_READWHOLEIMAGE), IJL_UNSUPPORTED_OPERATION);
  EXPECT_EQ(codec().write(nullptr, IJL_JFILE_READPARAMS), IJL_UNSUPPORTED_OPERATION);

  const IJLibVersion* version = codec().version();
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version, codec().version());
  EXPECT_EQ(version->major, 1);
  for (const char* text :
       {version->Name, version->Version, version->InternalVersion, version->BuildDate, version->CallConv}) {
    ASSERT_NE(text, nullptr);
    EXPECT_NE(std::string(text), "");
  }

  // Every status has its own text; codes the library never gives get one.
  std::set<std::string> texts;
  for (int code = IJL_DECODER_UNAVAILABLE; code <= IJL_OK; ++code) {
    const char* text = codec().errorStr(static_cast<IJLERR>(code));
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(texts.insert(text).second) << "status " << code << " shares its text";
  }
  for (int code : {1, 42, -10, -1000, INT_MIN, INT_MAX}) {
    const char* text = codec().errorStr(static_cast<IJLERR>(code));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(texts.count(text), 0u) << code;
    EXPECT_NE(std::string(text), "");
  }
}

TEST_F(CodecTest, InitGivesDefaultsAndStateAndFreeReleasesIt) {
  EXPECT_EQ(codec().init(nullptr), IJL_INVALID_ENCODER);
  EXPECT_EQ(codec().free(nullptr), IJL_INVALID_ENCODER);
  EXPECT_EQ(codec().read(nullptr, IJL_JBUFF_READPARAMS), IJL_INVALID_ENCODER);

  JPEG_CORE_PROPERTIES props;
  std::memset(&props, 0x5A, sizeof props);
  ASSERT_EQ(codec().init(&props), IJL_OK);
  EXPECT_NE(props.jprops, nullptr);
  EXPECT_EQ(props.DIBBytes, nullptr);
  EXPECT_EQ(props.JPGBytes, nullptr);
  EXPECT_EQ(props.JPGFile, nullptr);
  EXPECT_EQ(props.DIBWidth, 0);
  EXPECT_EQ(props.DIBHeight, 0);
  EXPECT_EQ(props.DIBPadBytes, 0);
  EXPECT_EQ(props.DIBChannels, 4);
  EXPECT_EQ(props.DIBColor, IJL_RGBA_FPX);
  EXPECT_EQ(props.JPGSizeBytes, 0);
  EXPECT_EQ(props.JPGWidth, 0);
  EXPECT_EQ(props.JPGHeight, 0);
  EXPECT_EQ(props.JPGChannels, 0);
  EXPECT_EQ(props.JPGColor, IJL_YCBCR);

  EXPECT_EQ(codec().free(&props), IJL_OK);
  EXPECT_EQ(props.jprops, nullptr);
  EXPECT_EQ(codec().free(&props), IJL_OK);  // nothing left to release
  const Bytes jpeg = fixture("colours.jpg");
  props.JPGBytes = jpeg.data();
  props.JPGSizeBytes = static_cast<int>(jpeg.size());
  EXPECT_EQ(codec().read(&props, IJL_JBUFF_READPARAMS), IJL_INVALID_ENCODER);
}

// --- the parameter read ----------------------------------------------------

struct ParamsCase {
  const char* fixture;
  IJLERR status;
  int width;
  int height;
  int channels;
};

TEST_F(CodecTest, ParameterReadGivesSizeAndComponents) {
  const ParamsCase cases[] = {
      {"colours.jpg", IJL_OK, 32, 16, 3},
      {"colours-progressive.jpg", IJL_OK, 32, 16, 3},
      {"odd-17x9.jpg", IJL_OK, 17, 9, 3},
      {"grey-17x9.jpg", IJL_OK, 17, 9, 1},
      // The header before the cut is whole.
      {"noise-truncated.jpg", IJL_OK, 64, 48, 3},
      // The parameters come from the frame header alone: what lies beyond
      // it is for the whole-image read to find.
      {"bogus-huffman.jpg", IJL_OK, 32, 16, 3},
      {"noise-garbled.jpg", IJL_OK, 64, 48, 3},
      {"arithmetic.jpg", IJL_UNSUPPORTED_STREAM, 0, 0, 0},
  };
  for (const ParamsCase& c : cases) {
    SCOPED_TRACE(c.fixture);
    const Bytes jpeg = fixture(c.fixture);
    Record record;
    ASSERT_EQ(record.initStatus(), IJL_OK);
    record.props().JPGWidth = 999;  // a failed read leaves no stale size behind
    record.setStream(jpeg);
    EXPECT_EQ(codec().read(&record.props(), IJL_JBUFF_READPARAMS), c.status);
    EXPECT_EQ(record.props().JPGWidth, c.width);
    EXPECT_EQ(record.props().JPGHeight, c.height);
    EXPECT_EQ(record.props().JPGChannels, c.channels);
  }
}

// Streams a JPEG reader must refuse, made from the colours fixture.
struct StreamCase {
  const char* what;
  Bytes bytes;
  IJLERR status;
};

std::vector<StreamCase> refusedStreams() {
  const Bytes good = fixture("colours.jpg");
  auto edited = [&](std::size_t marker, std::size_t offset, unsigned char value) {
    Bytes bytes = good;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
      if (bytes[i] == 0xFF && bytes[i + 1] == marker) {
        bytes[i + offset] = value;
        return bytes;
      }
    }
    ADD_FAILURE() << "no marker " << marker;
    return bytes;
  };
  // In SOF0: FF C0, length (2), precision, height (2), width (2), count.
  return {
      {"text, not a JPEG", Bytes{'h', 'e', 'l', 'l', 'o', ',', ' ', 'j', 'p', 'e', 'g'}, IJL_BAD_STREAM},
      {"only SOI", Bytes{0xFF, 0xD8}, IJL_BAD_STREAM},
      {"SOI and EOI", Bytes{0xFF, 0xD8, 0xFF, 0xD9}, IJL_BAD_STREAM},
      {"header cut in a segment", Bytes(good.begin(), good.begin() + 30), IJL_BAD_STREAM},
      {"12-bit precision", edited(0xC0, 4, 12), IJL_UNSUPPORTED_STREAM},
      {"width 0", edited(0xC0, 8, 0), IJL_BAD_STREAM},
      {"lossless frame (SOF3)", edited(0xC0, 1, 0xC3), IJL_UNSUPPORTED_STREAM},
      {"arithmetic-coded", fixture("arithmetic.jpg"), IJL_UNSUPPORTED_STREAM},
  };
}

TEST_F(CodecTest, ParameterReadRefusesWhatIsNoReadableJpeg) {
  for (const StreamCase& c : refusedStreams()) {
    SCOPED_TRACE(c.what);
    Record record;
    record.setStream(c.bytes);
    EXPECT_EQ(codec().read(&record.props(), IJL_JBUFF_READPARAMS), c.status);
    EXPECT_EQ(record.props().JPGWidth, 0);
  }
}

TEST_F(CodecTest, OnlyMemoryReadsAreServed) {
  const Bytes jpeg = fixture("colours.jpg");
  Record record;
  record.setStream(jpeg);
  const std::pair<int, IJLERR> cases[] = {
      {IJL_JFILE_READPARAMS, IJL_UNSUPPORTED_OPERATION},
      {IJL_JFILE_READWHOLEIMAGE, IJL_UNSUPPORTED_OPERATION},
      {4, IJL_BAD_PARAMETER},
      {-1, IJL_BAD_PARAMETER},
      {1000, IJL_BAD_PARAMETER},
  };
  for (const auto& [iotype, status] : cases) {
    EXPECT_EQ(codec().read(&record.props(), static_cast<IJLIOTYPE>(iotype)), status) << iotype;
  }
  // No stream at all.
  record.props().JPGBytes = nullptr;
  EXPECT_EQ(codec().read(&record.props(), IJL_JBUFF_READPARAMS), IJL_NO_INPUT);
  record.setStream(jpeg);
  record.props().JPGSizeBytes = 0;
  EXPECT_EQ(codec().read(&record.props(), IJL_JBUFF_READPARAMS), IJL_NO_INPUT);
  record.props().JPGSizeBytes = -5;
  EXPECT_EQ(codec().read(&record.props(), IJL_JBUFF_READPARAMS), IJL_NO_INPUT);
}

// --- the whole-image read --------------------------------------------------

TEST_F(CodecTest, RefusedStreamsLeaveTheDibUntouched) {
  std::vector<StreamCase> cases = refusedStreams();
  cases.push_back({"bogus Huffman table", fixture("bogus-huffman.jpg"), IJL_BAD_STREAM});
  cases.push_back({"truncated in the coded data", fixture("noise-truncated.jpg"), IJL_BAD_STREAM});
  for (const StreamCase& c : cases) {
    SCOPED_TRACE(c.what);
    // The DIB matches the picture where the picture has a size.
    const bool noise = c.bytes.size() > 1000;
    const int width = noise ? 64 : 32;
    const int height = noise ? 48 : 16;
    GuardedDib dib(width, height, 0);
    Record record;
    EXPECT_EQ(record.decode(c.bytes, dib, width, height, 0), c.status);
    EXPECT_TRUE(dib.untouched());
  }
}

struct DibCase {
  const char* what;
  int width;
  int height;
  int pad;
  int channels;
  IJL_COLOR color;
  bool nullBytes;
  IJLERR status;
};

TEST_F(CodecTest, UnservableDibsAreRefusedUntouched) {
  // colours.jpg is 32 x 16.
  const DibCase cases[] = {
      {"no DIB bytes", 32, 16, 0, 4, IJL_RGBA_FPX, true, IJL_BAD_PARAMETER},
      {"width 0", 0, 16, 0, 4, IJL_RGBA_FPX, false, IJL_BAD_PARAMETER},
      {"negative height", 32, -16, 0, 4, IJL_RGBA_FPX, false, IJL_BAD_PARAMETER},
      {"three channels", 32, 16, 0, 3, IJL_RGBA_FPX, false, IJL_BAD_PARAMETER},
      {"BGR order", 32, 16, 0, 4, IJL_BGR, false, IJL_BAD_PARAMETER},
      {"negative pad", 32, 16, -4, 4, IJL_RGBA_FPX, false, IJL_BAD_PARAMETER},
      {"rows too long for an int", INT_MAX / 4, 16, 16, 4, IJL_RGBA_FPX, false, IJL_BAD_PARAMETER},
      {"one column narrower", 31, 16, 0, 4, IJL_RGBA_FPX, false, IJL_SIZE_MISMATCH},
      {"one column wider", 33, 16, 0, 4, IJL_RGBA_FPX, false, IJL_SIZE_MISMATCH},
      {"one row fewer", 32, 15, 0, 4, IJL_RGBA_FPX, false, IJL_SIZE_MISMATCH},
      {"one row more", 32, 17, 0, 4, IJL_RGBA_FPX, false, IJL_SIZE_MISMATCH},
      {"the transposed size", 16, 32, 0, 4, IJL_RGBA_FPX, false, IJL_SIZE_MISMATCH},
  };
  const Bytes jpeg = fixture("colours.jpg");
  for (const DibCase& c : cases) {
    SCOPED_TRACE(c.what);
    // The guarded buffer is at most the real picture's size plus some; the
    // description may claim more, and must be refused before any write.
    GuardedDib dib(32, 17, 8);
    Record record;
    record.setStream(jpeg);
    JPEG_CORE_PROPERTIES& p = record.props();
    p.DIBWidth = c.width;
    p.DIBHeight = c.height;
    p.DIBPadBytes = c.pad;
    p.DIBChannels = c.channels;
    p.DIBColor = c.color;
    p.DIBBytes = c.nullBytes ? nullptr : dib.first();
    EXPECT_EQ(codec().read(&p, IJL_JBUFF_READWHOLEIMAGE), c.status);
    EXPECT_TRUE(dib.untouched());
  }
}

bool near(const std::array<int, 4>& pixel, int r, int g, int b, int tolerance) {
  return std::abs(pixel[0] - r) <= tolerance && std::abs(pixel[1] - g) <= tolerance &&
         std::abs(pixel[2] - b) <= tolerance && pixel[3] == 255;
}

TEST_F(CodecTest, PixelsAreRedGreenBlueTopRowFirstWithPadsHonoured) {
  // Flat blocks decode within a few levels on any decoder.
  for (const char* name : {"colours.jpg", "colours-progressive.jpg"}) {
    for (int pad : {0, 1, 3, 12}) {
      SCOPED_TRACE(std::string(name) + " pad " + std::to_string(pad));
      const GuardedDib dib = decodeFixture(name, 32, 16, pad);
      for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
          const bool top = y < 8;
          const bool left = x < 16;
          // Red, green / blue, white.
          const int r = top == left ? 255 : 0;
          const int g = left ? 0 : 255;
          const int b = top ? 0 : 255;
          ASSERT_TRUE(near(dib.pixel(x, y), r, g, b, 6)) << x << "," << y;
        }
      }
    }
  }
}

TEST_F(CodecTest, GreyAndOddSizedPicturesFillEveryPixel) {
  {
    const GuardedDib dib = decodeFixture("grey-17x9.jpg", 17, 9, 3);
    for (int y = 0; y < 9; ++y) {
      for (int x = 0; x < 17; ++x) {
        const auto p = dib.pixel(x, y);
        const int expected = std::min(255, x * 15 + y * 2);
        ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << x << "," << y;
        ASSERT_TRUE(near(p, expected, expected, expected, 8)) << x << "," << y << ": " << p[0];
      }
    }
  }
  {
    // The gradient the fixture was made from: (15x, 28y, 255 - 15x); 4:2:0
    // blurs the chroma, so the check is loose, but every pixel is written.
    const GuardedDib dib = decodeFixture("odd-17x9.jpg", 17, 9, 1);
    for (int y = 0; y < 9; ++y) {
      for (int x = 0; x < 17; ++x) {
        ASSERT_TRUE(near(dib.pixel(x, y), x * 15, y * 28, 255 - x * 15, 40)) << x << "," << y;
      }
    }
  }
}

TEST_F(CodecTest, OneRecordServesTheProgramsDecodesInTurn) {
  // The program's order for every slide: init, parameters, whole picture,
  // free; the same record again and again.
  JPEG_CORE_PROPERTIES props{};
  for (const char* name : {"colours.jpg", "odd-17x9.jpg", "colours-progressive.jpg", "grey-17x9.jpg"}) {
    SCOPED_TRACE(name);
    const Bytes jpeg = fixture(name);
    ASSERT_EQ(codec().init(&props), IJL_OK);
    props.JPGBytes = jpeg.data();
    props.JPGSizeBytes = static_cast<int>(jpeg.size());
    ASSERT_EQ(codec().read(&props, IJL_JBUFF_READPARAMS), IJL_OK);
    GuardedDib dib(props.JPGWidth, props.JPGHeight, 0);
    props.JPGColor = IJL_YCBCR;
    props.DIBColor = IJL_RGBA_FPX;
    props.DIBWidth = props.JPGWidth;
    props.DIBHeight = props.JPGHeight;
    props.DIBChannels = 4;
    props.DIBBytes = dib.first();
    props.DIBPadBytes = IJL_DIB_PAD_BYTES(props.DIBWidth, props.DIBChannels);
    EXPECT_EQ(codec().read(&props, IJL_JBUFF_READWHOLEIMAGE), IJL_OK);
    EXPECT_EQ(dib.bytesWrittenOutside(), 0);
    EXPECT_EQ(dib.pixel(props.JPGWidth - 1, props.JPGHeight - 1)[3], 255);
    EXPECT_EQ(codec().free(&props), IJL_OK);
  }
}

TEST_F(CodecTest, CorruptCodedDataStaysInsideTheDib) {
  // The structure is sound, so the decoder runs and writes; what it makes
  // of the zeroed stretch is its own affair, but it writes only pixels.
  GuardedDib dib(64, 48, 4);
  Record record;
  const IJLERR status = record.decode(fixture("noise-garbled.jpg"), dib, 64, 48, 4);
  EXPECT_EQ(dib.bytesWrittenOutside(), 0);
#ifdef _WIN32
  // WIC decodes over the damage without a word.
  EXPECT_TRUE(status == IJL_OK || status == IJL_BAD_STREAM) << status;
#else
  // libjpeg-turbo notices the stray bytes and says so.
  EXPECT_EQ(status, IJL_BAD_STREAM);
#endif
}

// --- against libjpeg-turbo -------------------------------------------------

struct Picture {
  int width = 0;
  int height = 0;
  Bytes rgb;  // 3 bytes a pixel, rows back to back
};

#ifdef _WIN32

// libjpeg-turbo's decode of the JPEG (a path below the source folder), made
// at build time on the build machine by djpeg as a binary PPM named after
// the JPEG.
Picture referenceDecode(const std::string& relative) {
  const std::string name = relative.substr(relative.rfind('/') + 1);
  const Bytes ppm = readFile(std::string(VELMORA_JPEG_REFERENCE_DIR) + "/" + name.substr(0, name.size() - 4) + ".ppm");
  Picture picture;
  // "P6", width, height, 255, one white-space byte, then the pixels.
  std::size_t at = 0;
  auto token = [&] {
    while (at < ppm.size() && std::isspace(ppm[at])) ++at;
    std::string text;
    while (at < ppm.size() && !std::isspace(ppm[at])) text += static_cast<char>(ppm[at++]);
    return text;
  };
  if (token() != "P6") return picture;
  const int width = std::atoi(token().c_str());
  const int height = std::atoi(token().c_str());
  if (token() != "255" || width <= 0 || height <= 0) return picture;
  ++at;
  const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
  if (ppm.size() - at != bytes) return picture;
  picture = {width, height, Bytes(ppm.begin() + static_cast<std::ptrdiff_t>(at), ppm.end())};
  return picture;
}

#else

// libjpeg-turbo's own decode through its TurboJPEG API of the JPEG (a path
// below the source folder).
Picture referenceDecode(const std::string& relative) {
  const Bytes jpeg = readFile(sourcePath(relative));
  Picture picture;
  tjhandle handle = tjInitDecompress();
  int subsampling = 0;
  int colorspace = 0;
  if (handle != nullptr && tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &picture.width, &picture.height,
                                               &subsampling, &colorspace) == 0) {
    picture.rgb.resize(static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 3);
    if (tjDecompress2(handle, jpeg.data(), jpeg.size(), picture.rgb.data(), picture.width, 0, picture.height, TJPF_RGB,
                      0) != 0) {
      picture.rgb.clear();
    }
  }
  if (handle != nullptr) tjDestroy(handle);
  return picture;
}

#endif

// How far a decode lies from the reference: the mean absolute difference
// per channel over the picture, and the largest difference of one channel's
// mean over a 16 x 16 block.
struct Difference {
  double meanAbsolute = 0;
  double worstBlockMean = 0;
  bool exact = true;
};

Difference compare(const GuardedDib& dib, const Picture& reference) {
  constexpr int kBlock = 16;
  Difference difference;
  const Bytes decoded = dib.packedPixels();
  const int blocksAcross = (reference.width + kBlock - 1) / kBlock;
  const int blocksDown = (reference.height + kBlock - 1) / kBlock;
  std::vector<std::array<long, 3>> blockSums(static_cast<std::size_t>(blocksAcross * blocksDown), {0, 0, 0});
  long long absoluteSum = 0;
  for (int y = 0; y < reference.height; ++y) {
    for (int x = 0; x < reference.width; ++x) {
      const std::size_t n =
          static_cast<std::size_t>(y) * static_cast<std::size_t>(reference.width) + static_cast<std::size_t>(x);
      auto& sums = blockSums[static_cast<std::size_t>((y / kBlock) * blocksAcross + x / kBlock)];
      for (std::size_t c = 0; c < 3; ++c) {
        const int delta = int{decoded[n * 4 + c]} - int{reference.rgb[n * 3 + c]};
        absoluteSum += std::abs(delta);
        sums[c] += delta;
        difference.exact = difference.exact && delta == 0;
      }
    }
  }
  difference.meanAbsolute = static_cast<double>(absoluteSum) / (3.0 * reference.width * reference.height);
  for (const auto& sums : blockSums) {
    for (long sum : sums) {
      difference.worstBlockMean =
          std::max(difference.worstBlockMean, std::abs(static_cast<double>(sum)) / (kBlock * kBlock));
    }
  }
  return difference;
}

struct ReferenceCase {
  std::string path;  // below the source folder
  int width;
  int height;
};

TEST_F(CodecTest, EverySlideAndFixtureDecodesLikeLibjpegTurbo) {
  std::vector<ReferenceCase> cases = {
      {"tests/fixtures/jpeg/colours.jpg", 32, 16},
      {"tests/fixtures/jpeg/colours-progressive.jpg", 32, 16},
      {"tests/fixtures/jpeg/odd-17x9.jpg", 17, 9},
      {"tests/fixtures/jpeg/grey-17x9.jpg", 17, 9},
  };
  for (int n = 1; n <= 16; ++n) cases.push_back({"resources/slides/" + slideName(n), 1024, 768});
  for (const ReferenceCase& c : cases) {
    SCOPED_TRACE(c.path);
    const Picture reference = referenceDecode(c.path);
    ASSERT_EQ(reference.width, c.width);
    ASSERT_EQ(reference.height, c.height);
    ASSERT_FALSE(reference.rgb.empty());

    // Rows with the pad rule's bytes and 4 more, as a pad-honouring test.
    const int pad = IJL_DIB_PAD_BYTES(c.width, 4) + 4;
    GuardedDib dib(c.width, c.height, pad);
    Record record;
    ASSERT_EQ(record.decode(readFile(sourcePath(c.path)), dib, c.width, c.height, pad), IJL_OK);
    EXPECT_EQ(dib.bytesWrittenOutside(), 0);
    const Bytes pixels = dib.packedPixels();
    bool everyPixelWritten = true;
    for (std::size_t i = 3; i < pixels.size(); i += 4) everyPixelWritten = everyPixelWritten && pixels[i] == 255;
    EXPECT_TRUE(everyPixelWritten);

    const Difference difference = compare(dib, reference);
#ifdef _WIN32
    // WIC upsamples chroma its own way: single pixels at sharp colour edges
    // differ by tens of levels, but the picture as a whole and every block
    // of it agree closely (measured: below 1 level on average, block means
    // within 3 on the slides). A wrong channel order, row order or stride, or rows left
    // out, is off by far more.
    EXPECT_LT(difference.meanAbsolute, 2.0);
    EXPECT_LT(difference.worstBlockMean, 8.0);
#else
    EXPECT_TRUE(difference.exact) << "mean difference " << difference.meanAbsolute;
#endif
  }
}

}  // namespace
