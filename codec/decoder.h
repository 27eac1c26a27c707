// What the codec's portable front (ijl.cpp) asks of the system decoder
// behind it: libjpeg-turbo on Linux (decoder_turbojpeg.cpp), the Windows
// Imaging Component on Windows (decoder_wic.cpp). The front reads the
// picture's parameters itself (jpeg_structure.h) and has checked the record,
// the DIB description and the stream's structure before it asks for a
// decode.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <span>

#include "codec/ijl.h"
#include "codec/jpeg_structure.h"

namespace velmora::codec {

// One decoder per initialised record (its jprops).
struct Decoder;

// Where a picture goes: `height` rows of `width` pixels of 4 bytes, the
// first at `first`, each `rowStride` bytes after the one before. Only these
// width * 4 bytes of each row may be written.
struct PixelArea {
  unsigned char* first = nullptr;
  int width = 0;
  int height = 0;
  std::size_t rowStride = 0;

  // Bytes from the first pixel to just past the last one.
  std::size_t span() const {
    return rowStride * static_cast<std::size_t>(height - 1) + static_cast<std::size_t>(width) * 4;
  }
};

// IJL_OK with a new decoder in `decoder`, or IJL_MEMORY_ERROR,
// IJL_DECODER_UNAVAILABLE.
IJLERR openDecoder(Decoder*& decoder);
void closeDecoder(Decoder* decoder);

// Decodes the picture into `area` as R, G, B, 255. IJL_SIZE_MISMATCH,
// without writing, when the decoder finds the picture is not
// area.width x area.height.
IJLERR decodePicture(Decoder& decoder, std::span<const unsigned char> stream, const PixelArea& area);

// Which system decoder this library uses, for the version record.
extern const char kDecoderDescription[];

// A decoder's memory comes from malloc, so that the library needs nothing of
// the C++ runtime (on Windows it would otherwise carry its own copy of the
// runtime's exception machinery).
template <typename T>
T* makeDecoder() {
  void* memory = std::malloc(sizeof(T));
  return memory == nullptr ? nullptr : new (memory) T{};
}

template <typename T>
void dropDecoder(T* decoder) {
  decoder->~T();
  std::free(decoder);
}

}  // namespace velmora::codec
