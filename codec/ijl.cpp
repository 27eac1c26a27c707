// The codec's six entry points: the checks of the record and the DIB, the
// status texts and the version record, the same on every target. The
// decoding itself is the system decoder's (decoder.h).
#include "codec/ijl.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/decoder.h"
#include "codec/jpeg_structure.h"

namespace velmora::codec {
namespace {

Decoder* decoderOf(const JPEG_CORE_PROPERTIES& record) { return static_cast<Decoder*>(record.jprops); }

IJLERR inputOf(const JPEG_CORE_PROPERTIES& record, std::span<const unsigned char>& stream) {
  if (record.JPGBytes == nullptr || record.JPGSizeBytes <= 0) return IJL_NO_INPUT;
  stream = {record.JPGBytes, static_cast<std::size_t>(record.JPGSizeBytes)};
  return IJL_OK;
}

IJLERR readParams(JPEG_CORE_PROPERTIES& record) {
  record.JPGWidth = 0;
  record.JPGHeight = 0;
  record.JPGChannels = 0;
  std::span<const unsigned char> stream;
  if (const IJLERR status = inputOf(record, stream); status != IJL_OK) return status;
  // The frame header holds all there is to know. Reading it here, and not
  // through the system decoder, gives the same answer on every target
  // and decodes nothing (Wine's decoder would decode the whole picture).
  PictureInfo info;
  if (const IJLERR status = checkJpegStructure(stream, StructureDepth::Header, info); status != IJL_OK) return status;
  record.JPGWidth = info.width;
  record.JPGHeight = info.height;
  record.JPGChannels = info.channels;
  return IJL_OK;
}

// The DIB as the record describes it, or IJL_BAD_PARAMETER when that
// description cannot be served or its extent does not fit the address space.
IJLERR dibOf(const JPEG_CORE_PROPERTIES& record, PixelArea& area) {
  if (record.DIBBytes == nullptr || record.DIBWidth <= 0 || record.DIBHeight <= 0 || record.DIBChannels != 4 ||
      record.DIBColor != IJL_RGBA_FPX || record.DIBPadBytes < 0) {
    return IJL_BAD_PARAMETER;
  }
  const std::int64_t rowBytes = std::int64_t{record.DIBWidth} * 4;
  const std::int64_t stride = rowBytes + record.DIBPadBytes;
  if (stride > INT_MAX) return IJL_BAD_PARAMETER;
  // Both factors are below 2^31, so the product fits 64 bits.
  const std::int64_t extent = stride * (std::int64_t{record.DIBHeight} - 1) + rowBytes;
  if (static_cast<std::uint64_t>(extent) > static_cast<std::uint64_t>(PTRDIFF_MAX)) return IJL_BAD_PARAMETER;
  area.first = record.DIBBytes;
  area.width = record.DIBWidth;
  area.height = record.DIBHeight;
  area.rowStride = static_cast<std::size_t>(stride);
  return IJL_OK;
}

IJLERR readWholeImage(JPEG_CORE_PROPERTIES& record) {
  std::span<const unsigned char> stream;
  if (const IJLERR status = inputOf(record, stream); status != IJL_OK) return status;
  PixelArea area;
  if (const IJLERR status = dibOf(record, area); status != IJL_OK) return status;
  PictureInfo info;
  if (const IJLERR status = checkJpegStructure(stream, StructureDepth::Whole, info); status != IJL_OK) return status;
  if (info.width != area.width || info.height != area.height) return IJL_SIZE_MISMATCH;
  return decodePicture(*decoderOf(record), stream, area);
}

}  // namespace
}  // namespace velmora::codec

using namespace velmora::codec;

extern "C" {

IJLAPI IJLERR ijlInit(JPEG_CORE_PROPERTIES* jcprops) {
  if (jcprops == nullptr) return IJL_INVALID_ENCODER;
  *jcprops = JPEG_CORE_PROPERTIES{};
  jcprops->DIBChannels = 4;
  jcprops->DIBColor = IJL_RGBA_FPX;
  jcprops->JPGColor = IJL_YCBCR;
  Decoder* decoder = nullptr;
  if (const IJLERR status = openDecoder(decoder); status != IJL_OK) return status;
  jcprops->jprops = decoder;
  return IJL_OK;
}

IJLAPI IJLERR ijlFree(JPEG_CORE_PROPERTIES* jcprops) {
  if (jcprops == nullptr) return IJL_INVALID_ENCODER;
  closeDecoder(decoderOf(*jcprops));
  jcprops->jprops = nullptr;
  return IJL_OK;
}

IJLAPI IJLERR ijlRead(JPEG_CORE_PROPERTIES* jcprops, IJLIOTYPE iotype) {
  if (jcprops == nullptr || jcprops->jprops == nullptr) return IJL_INVALID_ENCODER;
  switch (static_cast<int>(iotype)) {
    case IJL_JBUFF_READPARAMS:
      return readParams(*jcprops);
    case IJL_JBUFF_READWHOLEIMAGE:
      return readWholeImage(*jcprops);
    case IJL_JFILE_READPARAMS:
    case IJL_JFILE_READWHOLEIMAGE:
      return IJL_UNSUPPORTED_OPERATION;
    default:
      return IJL_BAD_PARAMETER;
  }
}

IJLAPI IJLERR ijlWrite(JPEG_CORE_PROPERTIES* /*jcprops*/, IJLIOTYPE /*iotype*/) { return IJL_UNSUPPORTED_OPERATION; }

IJLAPI const IJLibVersion* ijlGetLibVersion(void) {
  static constinit const IJLibVersion version = {
      .major = VELMORA_CODEC_VERSION_MAJOR,
      .minor = VELMORA_CODEC_VERSION_MINOR,
      .build = VELMORA_CODEC_VERSION_PATCH,
      .Name = "ijl10, the Velmora Slides JPEG codec",
      .Version = VELMORA_CODEC_VERSION,
      .InternalVersion = kDecoderDescription,
      .BuildDate = VELMORA_CODEC_BUILD_DATE,
      .CallConv = "cdecl",
  };
  return &version;
}

IJLAPI const char* ijlErrorStr(IJLERR code) {
  switch (static_cast<int>(code)) {
    case IJL_OK:
      return "no error";
    case IJL_INVALID_ENCODER:
      return "no codec record, or the record is not initialised";
    case IJL_MEMORY_ERROR:
      return "out of memory";
    case IJL_BAD_PARAMETER:
      return "bad parameter: unknown I/O type or unusable DIB description";
    case IJL_NO_INPUT:
      return "no JPEG bytes to read";
    case IJL_BAD_STREAM:
      return "the JPEG stream is truncated, corrupt or not a JPEG";
    case IJL_SIZE_MISMATCH:
      return "the picture's size differs from the DIB's";
    case IJL_UNSUPPORTED_STREAM:
      return "a kind of JPEG this codec does not read";
    case IJL_UNSUPPORTED_OPERATION:
      return "operation not supported (encoding, file I/O)";
    case IJL_DECODER_UNAVAILABLE:
      return "the system JPEG decoder could not be started";
    default:
      return "unknown status code";
  }
}

}  // extern "C"
