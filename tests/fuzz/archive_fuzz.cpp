// The slide archive reader on arbitrary archive bytes: openSlideArchiveFrom
// as the program runs it on its built-in resource, then decodeSlide on every
// slide it listed, against the fake platform.
//
// The codec is the real one, linked into this target: loading "ijl10.dll"
// gives it whenever the reader has written a regular file there (see
// loadLibrary below), so no fuzzed bytes are ever loaded as a library. The
// extracted files go to a temporary folder of this process.
//
// Checked beyond the sanitizers' findings:
//   - a damaged archive ends the process with exit code 0, having listed
//     nothing and bound nothing;
//   - an archive taken is the input itself, every slide it lists lies
//     inside it, and the codec is bound;
//   - after each decode the DecodedImage, if there is one, has the size of
//     decodedWidth x decodedHeight, and after a decode that succeeded its
//     pixels are conditioned: alpha 255, every channel at most 251 (the
//     show) or a multiple of 4 (the preview).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "codec/ijl.h"
#include "platform/display.h"
#include "platform/library.h"
#include "settings/settings.h"
#include "slides/archive.h"
#include "slides/slides.h"
#include "tests/fake/fake_platform.h"
#include "tests/fuzz/fuzz_check.h"

namespace fs = std::filesystem;

// --- the codec linked in, as the program's library loader ----------------
//
// This target defines the two functions of platform/library.h itself, so
// the linker never takes the real loader from velmora_os.
namespace {
const char kLinkedCodec = 0;  // its address is the library's handle
}  // namespace

namespace platform {

void* loadLibrary(const std::string& path) {
  std::error_code error;
  if (!fs::is_regular_file(fs::symlink_status(path, error))) return nullptr;
  return const_cast<char*>(&kLinkedCodec);
}

void* findSymbol(void* library, const char* name) {
  if (library != &kLinkedCodec) return nullptr;
  const std::string_view n(name);
  if (n == "ijlInit") return reinterpret_cast<void*>(&ijlInit);
  if (n == "ijlFree") return reinterpret_cast<void*>(&ijlFree);
  if (n == "ijlRead") return reinterpret_cast<void*>(&ijlRead);
  if (n == "ijlWrite") return reinterpret_cast<void*>(&ijlWrite);
  if (n == "ijlGetLibVersion") return reinterpret_cast<void*>(&ijlGetLibVersion);
  if (n == "ijlErrorStr") return reinterpret_cast<void*>(&ijlErrorStr);
  return nullptr;
}

}  // namespace platform

namespace {

// Pictures larger than this are not decoded: a header may claim 8191 x
// 65535 pixels, which the show would try to hold.
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 21;

std::string temporaryFolder;

void removeTemporaryFolder() {
  std::error_code ignored;
  fs::remove_all(temporaryFolder, ignored);
}

// The size the codec reads from a slide's header, 0 x 0 when it reads none.
std::int64_t pixelsOf(std::int32_t offset, std::int32_t size) {
  JPEG_CORE_PROPERTIES record;
  if (ijlInit(&record) != IJL_OK) return 0;
  record.JPGBytes = velmora::slideArchive.data() + offset;
  record.JPGSizeBytes = size;
  ijlRead(&record, IJL_JBUFF_READPARAMS);
  const std::int64_t pixels = std::int64_t{record.JPGWidth} * record.JPGHeight;
  ijlFree(&record);
  return pixels;
}

void checkDecodedImage(std::int32_t status) {
  const platform::Image* image = velmora::decodedImage.get();
  if (!image) {
    FUZZ_CHECK(status != IJL_OK);
    return;
  }
  FUZZ_CHECK(image->width == velmora::decodedWidth && image->height == velmora::decodedHeight);
  FUZZ_CHECK(image->words.size() >= image->pixelCount() + 1);
  if (status != IJL_OK) return;
  const platform::Pixel* pixels = image->pixels();
  for (std::size_t i = 0; i < image->pixelCount(); ++i) {
    const std::uint32_t p = pixels[i];
    FUZZ_CHECK((p >> 24) == 0xFF);
    for (const int shift : {0, 8, 16}) {
      const std::uint32_t c = (p >> shift) & 0xFF;
      FUZZ_CHECK(velmora::inPreviewMode ? (c & 3) == 0 : c <= 251);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Extracted files go to memory where there is a tmpfs.
  for (const char* base : {"/dev/shm", "/tmp"}) {
    std::string pattern = std::string(base) + "/velmora-fuzz-archive-XXXXXX";
    if (mkdtemp(pattern.data())) {
      temporaryFolder = pattern;
      break;
    }
  }
  if (temporaryFolder.empty()) fuzzcheck::fail("no temporary folder could be made", __FILE__, __LINE__);
  std::atexit(removeTemporaryFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fake::reset();
  velmora::resetSlideSource();
  fake::setEnvironment("TMP", temporaryFolder);
  // The preview (no surface: the damaged archive ends at once) or the show
  // (a surface: the message, then a key), by the input's length.
  const bool preview = size % 2 == 1;
  velmora::inPreviewMode = preview;
  if (!preview) {
    // Its size does not matter to the reader; a small one is quick to make.
    platform::openFullScreen(64, 32);
    fake::scheduleKey(0.0);
  }
  velmora::settings.brightnessLevel = 255 - 2 * static_cast<std::int32_t>(size % 100);

  const std::span<const std::uint8_t> archive(data, size);
  bool taken = false;
  const std::optional<int> exit = fake::runUntilExit([&] {
    velmora::openSlideArchiveFrom(archive);
    taken = true;
  });
  if (!taken) {
    FUZZ_CHECK(exit == 0);
    FUZZ_CHECK(velmora::slideTable.lastSlide == -1);
    FUZZ_CHECK(velmora::codecBinding.library == nullptr);
    FUZZ_CHECK(velmora::slideArchive.empty());
    return 0;
  }

  FUZZ_CHECK(velmora::slideArchive.data() == data && velmora::slideArchive.size() == size);
  FUZZ_CHECK(velmora::codecBinding.complete());
  const velmora::SlideTable& table = velmora::slideTable;
  FUZZ_CHECK(table.lastSlide >= 0 && table.lastSlide < velmora::kMaxSlides);
  for (int i = 0; i <= table.lastSlide; ++i) {
    const auto index = static_cast<std::size_t>(i);
    const std::int32_t offset = table.slideOffset[index];
    const std::int32_t length = table.slideSize[index];
    FUZZ_CHECK(offset >= 0 && length >= 0);
    FUZZ_CHECK(static_cast<std::size_t>(offset) <= size && static_cast<std::size_t>(length) <= size - static_cast<std::size_t>(offset));
    if (pixelsOf(offset, length) > kMaxPixels) continue;
    checkDecodedImage(velmora::decodeSlide(offset, length));
  }
  return 0;
}
