#include "codec/jpeg_structure.h"

#include <cstddef>
#include <cstring>

namespace velmora::codec {
namespace {

using Bytes = std::span<const unsigned char>;

constexpr unsigned kSoi = 0xD8;
constexpr unsigned kEoi = 0xD9;
constexpr unsigned kSos = 0xDA;
constexpr unsigned kTem = 0x01;

// C0..CF are frame headers except DHT (C4), JPG (C8) and DAC (CC).
bool isStartOfFrame(unsigned marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Baseline, extended sequential and progressive, all Huffman-coded.
bool isReadableFrame(unsigned marker) { return marker == 0xC0 || marker == 0xC1 || marker == 0xC2; }

bool isRestart(unsigned marker) { return marker >= 0xD0 && marker <= 0xD7; }

unsigned bigEndian16(Bytes bytes, std::size_t at) {
  return static_cast<unsigned>(bytes[at]) << 8 | static_cast<unsigned>(bytes[at + 1]);
}

IJLERR checkFrame(unsigned marker, Bytes payload, PictureInfo& info) {
  if (!isReadableFrame(marker)) return IJL_UNSUPPORTED_STREAM;
  if (payload.size() < 6) return IJL_BAD_STREAM;
  const unsigned precision = payload[0];
  const unsigned height = bigEndian16(payload, 1);
  const unsigned width = bigEndian16(payload, 3);
  const std::size_t components = payload[5];
  if (components == 0 || payload.size() != 6 + 3 * components) return IJL_BAD_STREAM;
  for (std::size_t c = 0; c < components; ++c) {
    const unsigned sampling = payload[6 + 3 * c + 1];
    const unsigned horizontal = sampling >> 4;
    const unsigned vertical = sampling & 0x0F;
    if (horizontal < 1 || horizontal > 4 || vertical < 1 || vertical > 4) return IJL_BAD_STREAM;
  }
  if (width == 0) return IJL_BAD_STREAM;
  // A height of 0 defers it to a DNL marker after the first scan.
  if (precision != 8 || height == 0 || (components != 1 && components != 3)) return IJL_UNSUPPORTED_STREAM;
  info.width = static_cast<int>(width);
  info.height = static_cast<int>(height);
  info.channels = static_cast<int>(components);
  return IJL_OK;
}

// The scan header: Ns, Ns component selectors with their tables, then the
// spectral selection and approximation bytes.
bool isScanHeader(Bytes payload) {
  return !payload.empty() && payload[0] >= 1 && payload[0] <= 4 &&
         payload.size() == 1 + 2 * static_cast<std::size_t>(payload[0]) + 3;
}

// The position of the marker that ends the entropy-coded data starting at
// `from`, or the stream's size when the data runs to its end. Inside the
// data 0xFF is followed by a stuffed 0x00 or a restart marker, optionally
// after fill bytes 0xFF.
std::size_t endOfCodedData(Bytes bytes, std::size_t from) {
  std::size_t pos = from;
  while (pos < bytes.size()) {
    const void* hit = std::memchr(bytes.data() + pos, 0xFF, bytes.size() - pos);
    if (!hit) break;
    const std::size_t marker = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - bytes.data());
    std::size_t code = marker + 1;
    while (code < bytes.size() && bytes[code] == 0xFF) ++code;
    if (code >= bytes.size()) break;
    if (bytes[code] != 0x00 && !isRestart(bytes[code])) return marker;
    pos = code + 1;
  }
  return bytes.size();
}

}  // namespace

IJLERR checkJpegStructure(Bytes bytes, StructureDepth depth, PictureInfo& info) {
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != kSoi) return IJL_BAD_STREAM;
  std::size_t pos = 2;
  bool frameSeen = false;
  bool scanSeen = false;
  for (;;) {
    // Running out before EOI is a truncated stream.
    if (pos >= bytes.size() || bytes[pos] != 0xFF) return IJL_BAD_STREAM;
    while (pos < bytes.size() && bytes[pos] == 0xFF) ++pos;
    if (pos >= bytes.size()) return IJL_BAD_STREAM;
    const unsigned marker = bytes[pos++];
    if (marker == kEoi) return scanSeen ? IJL_OK : IJL_BAD_STREAM;
    if (marker == kTem || isRestart(marker)) continue;
    if (marker == kSoi || marker == 0x00) return IJL_BAD_STREAM;

    if (bytes.size() - pos < 2) return IJL_BAD_STREAM;
    const std::size_t length = bigEndian16(bytes, pos);
    if (length < 2 || length > bytes.size() - pos) return IJL_BAD_STREAM;
    const Bytes payload = bytes.subspan(pos + 2, length - 2);
    std::size_t next = pos + length;

    if (isStartOfFrame(marker)) {
      if (frameSeen) return IJL_BAD_STREAM;
      if (const IJLERR status = checkFrame(marker, payload, info); status != IJL_OK) return status;
      frameSeen = true;
    } else if (marker == kSos) {
      if (!frameSeen || !isScanHeader(payload)) return IJL_BAD_STREAM;
      if (depth == StructureDepth::Header) return IJL_OK;
      scanSeen = true;
      next = endOfCodedData(bytes, next);
    }
    pos = next;
  }
}

}  // namespace velmora::codec
