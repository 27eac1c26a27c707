// The codec's decoder on Linux: libjpeg-turbo through its TurboJPEG API,
// decoding straight into the caller's picture as RGBX.
#include <turbojpeg.h>

#include <climits>

#include "codec/decoder.h"

namespace velmora::codec {

struct Decoder {
  tjhandle handle = nullptr;
};

namespace {

int componentsOf(int colorspace) {
  switch (colorspace) {
    case TJCS_GRAY:
      return 1;
    case TJCS_CMYK:
    case TJCS_YCCK:
      return 4;
    default:
      return 3;
  }
}

IJLERR readHeader(Decoder& decoder, std::span<const unsigned char> stream, PictureInfo& info) {
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colorspace = 0;
  if (tjDecompressHeader3(decoder.handle, stream.data(), static_cast<unsigned long>(stream.size()), &width, &height,
                          &subsampling, &colorspace) != 0) {
    return IJL_BAD_STREAM;
  }
  info.width = width;
  info.height = height;
  info.channels = componentsOf(colorspace);
  return IJL_OK;
}

}  // namespace

IJLERR openDecoder(Decoder*& decoder) {
  decoder = nullptr;
  auto* made = makeDecoder<Decoder>();
  if (made == nullptr) return IJL_MEMORY_ERROR;
  made->handle = tjInitDecompress();
  if (made->handle == nullptr) {
    dropDecoder(made);
    return IJL_DECODER_UNAVAILABLE;
  }
  decoder = made;
  return IJL_OK;
}

void closeDecoder(Decoder* decoder) {
  if (decoder == nullptr) return;
  tjDestroy(decoder->handle);
  dropDecoder(decoder);
}

IJLERR decodePicture(Decoder& decoder, std::span<const unsigned char> stream, const PixelArea& area) {
  PictureInfo info;
  if (const IJLERR status = readHeader(decoder, stream, info); status != IJL_OK) return status;
  if (info.width != area.width || info.height != area.height) return IJL_SIZE_MISMATCH;
  if (info.channels == 4) return IJL_UNSUPPORTED_STREAM;
  if (area.rowStride > static_cast<std::size_t>(INT_MAX)) return IJL_BAD_PARAMETER;
  // Given the picture's own size, TurboJPEG does not scale; it writes
  // width * 4 bytes of each row, `pitch` apart, X as 255. A warning
  // (corrupt coded data, say) still leaves a whole picture in the area, and
  // is reported as a bad stream.
  if (tjDecompress2(decoder.handle, stream.data(), static_cast<unsigned long>(stream.size()), area.first, area.width,
                    static_cast<int>(area.rowStride), area.height, TJPF_RGBX, 0) != 0) {
    return IJL_BAD_STREAM;
  }
  return IJL_OK;
}

const char kDecoderDescription[] = "libjpeg-turbo (TurboJPEG API)";

}  // namespace velmora::codec
