// A walk over a JPEG stream's markers, without decoding anything: it tells
// a truncated stream, a stream that is not a JPEG and a kind of JPEG the
// codec does not read apart from one worth handing to the system decoder,
// and it reads the picture's parameters from the frame header. The same
// walk runs on every target, so both decoders answer these cases alike and
// before anything is written into the caller's picture.
#pragma once

#include <span>

#include "codec/ijl.h"

namespace velmora::codec {

struct PictureInfo {
  int width = 0;
  int height = 0;
  int channels = 0;  // components: 1 grey, 3 colour
};

enum class StructureDepth {
  Header,  // SOI up to the first SOS: enough for the picture's parameters
  Whole,   // every segment and the coded data up to EOI
};

// IJL_OK with the frame header's values in `info`, IJL_BAD_STREAM (not a
// JPEG, a bad segment, truncated) or IJL_UNSUPPORTED_STREAM (anything but an
// 8-bit Huffman-coded baseline, extended or progressive frame of one or
// three components).
IJLERR checkJpegStructure(std::span<const unsigned char> stream, StructureDepth depth, PictureInfo& info);

}  // namespace velmora::codec
