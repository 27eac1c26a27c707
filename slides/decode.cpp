// Decoding one slide from the archive into the DecodedImage through the
// codec, and conditioning its pixels for the mode.
#include <algorithm>
#include <new>
#include <stdexcept>

#include "platform/display.h"
#include "settings/settings.h"
#include "slides/archive.h"
#include "slides/condition.h"
#include "slides/slides.h"

namespace velmora {

std::unique_ptr<platform::Image> decodedImage;
std::int32_t decodedWidth = 0;
std::int32_t decodedHeight = 0;

namespace {

// The codec record every decode works on.
JPEG_CORE_PROPERTIES codecRecord{};

// The preview's image: a plain block of 4 * w * h + 260 bytes, its header
// word left 0 (the preview never draws it through the display).
constexpr std::size_t kPreviewSpareWords = 64;

std::unique_ptr<platform::Image> makePreviewBlock(int width, int height) {
  if (width <= 0 || height <= 0 || width > platform::kMaxImageWidth || height > platform::kMaxImageHeight) {
    return nullptr;
  }
  auto image = std::unique_ptr<platform::Image>(new (std::nothrow) platform::Image);
  if (!image) return nullptr;
  try {
    image->words.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + 1 + kPreviewSpareWords,
                        0u);
  } catch (const std::bad_alloc&) {
    return nullptr;
  } catch (const std::length_error&) {
    return nullptr;
  }
  image->width = width;
  image->height = height;
  return image;
}

// The DecodedImage, ready for a picture of width x height: the one there is
// when it has that size, else one made anew. When none can be made, there is
// none, so that no caller ever sees an image whose size differs from
// decodedWidth x decodedHeight.
platform::Image* imageFor(int width, int height) {
  if (decodedImage && decodedImage->width == width && decodedImage->height == height) return decodedImage.get();
  decodedImage.reset();
  decodedImage = inPreviewMode ? makePreviewBlock(width, height) : platform::createImage(width, height);
  return decodedImage.get();
}

// The slide's bytes lie inside the archive.
bool slideInside(std::int32_t offset, std::int32_t size) {
  if (offset < 0 || size < 0) return false;
  const auto start = static_cast<std::size_t>(offset);
  return start <= slideArchive.size() && static_cast<std::size_t>(size) <= slideArchive.size() - start;
}

}  // namespace

std::int32_t decodeSlide(std::int32_t offset, std::int32_t size) {
  // Nothing is ever called through a missing entry point, and the codec
  // never reads outside the archive.
  if (!codecBinding.ijlInit || !codecBinding.ijlRead || !codecBinding.ijlFree) return IJL_DECODER_UNAVAILABLE;
  if (!slideInside(offset, size)) return IJL_NO_INPUT;

  const IJLERR status = codecBinding.ijlInit(&codecRecord);
  if (status != IJL_OK) return status;

  codecRecord.JPGBytes = slideArchive.data() + offset;
  codecRecord.JPGSizeBytes = size;
  codecBinding.ijlRead(&codecRecord, IJL_JBUFF_READPARAMS);
  decodedWidth = codecRecord.JPGWidth;
  decodedHeight = codecRecord.JPGHeight;

  std::int32_t result = IJL_OK;
  if (platform::Image* image = imageFor(decodedWidth, decodedHeight)) {
    codecRecord.JPGColor = IJL_YCBCR;
    codecRecord.DIBColor = IJL_RGBA_FPX;
    codecRecord.DIBWidth = decodedWidth;
    codecRecord.DIBHeight = decodedHeight;
    codecRecord.DIBChannels = 4;
    codecRecord.DIBBytes = reinterpret_cast<unsigned char*>(image->pixels());
    codecRecord.DIBPadBytes = IJL_DIB_PAD_BYTES(codecRecord.DIBWidth, codecRecord.DIBChannels);
    codecBinding.ijlRead(&codecRecord, IJL_JBUFF_READWHOLEIMAGE);
    conditionPixels(*image, decodedWidth, decodedHeight);
  } else {
    // No image for the picture's size (none is open, the size is 0, or
    // memory ran out): nothing is decoded.
    result = IJL_MEMORY_ERROR;
  }

  codecBinding.ijlFree(&codecRecord);
  return result;
}

void conditionPixels(platform::Image& image, std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0 || image.words.empty()) return;
  // Words 1 ... w * h, never more than the image holds.
  const std::size_t count =
      std::min(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), image.words.size() - 1);
  // The preview keeps each channel's top 6 bits; the show and the
  // configuration screen scale them by the brightness in force now.
  const auto level = inPreviewMode
                         ? kPreviewLevel
                         : static_cast<std::uint32_t>(std::clamp<std::int32_t>(settings.brightnessLevel, 0, 255));
  bestConditionRow()(image.pixels(), count, level);
}

void resetSlideSource() {
  slideArchive = {};
  slideTable = SlideTable{};
  codecBinding = CodecBinding{};
  decodedImage.reset();
  decodedWidth = 0;
  decodedHeight = 0;
  inPreviewMode = false;
  codecRecord = JPEG_CORE_PROPERTIES{};
}

}  // namespace velmora
