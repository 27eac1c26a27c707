// A small program for the show's system tests: it decodes JPEG files with
// the slide codec exactly as the program does (the same library file, the
// same calls in the same order) and writes each picture out, so that a test
// can hold the screen against what the show itself got from the codec. The
// Windows codec decodes through the system's imaging component, whose
// results differ from libjpeg-turbo's by many levels at sharp colour edges;
// only the codec the program used can say what the screen must show.
//
//   velmora-decode-slides CODEC JPEG...
//       Loads the codec library CODEC and decodes every JPEG into
//       JPEG-without-its-extension.ppm (binary PPM: "P6", the width and
//       height, 255, then red, green, blue for every pixel, top row first).
//       Exit code 0 when every file was decoded, 1 otherwise, with a line on
//       stderr saying which file failed and why.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/ijl.h"
#include "platform/library.h"

namespace {

struct Codec {
  IjlInitFn init = nullptr;
  IjlReadFn read = nullptr;
  IjlFreeFn release = nullptr;
};

bool fail(const std::string& what) {
  std::fprintf(stderr, "velmora-decode-slides: %s\n", what.c_str());
  return false;
}

std::string withoutExtension(const std::string& path) {
  const auto dot = path.find_last_of('.');
  const auto slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
  return path.substr(0, dot);
}

bool decodeOne(const Codec& codec, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail("cannot read " + path);
  const std::vector<unsigned char> stream{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

  JPEG_CORE_PROPERTIES record{};
  if (const IJLERR status = codec.init(&record); status != IJL_OK) {
    return fail(path + ": ijlInit gave " + std::to_string(status));
  }
  record.JPGBytes = stream.data();
  record.JPGSizeBytes = static_cast<int>(stream.size());
  IJLERR status = codec.read(&record, IJL_JBUFF_READPARAMS);
  const int width = record.JPGWidth;
  const int height = record.JPGHeight;
  std::vector<unsigned char> pixels;
  if (status == IJL_OK && width > 0 && height > 0) {
    pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
    record.JPGColor = IJL_YCBCR;
    record.DIBColor = IJL_RGBA_FPX;
    record.DIBWidth = width;
    record.DIBHeight = height;
    record.DIBChannels = 4;
    record.DIBBytes = pixels.data();
    record.DIBPadBytes = IJL_DIB_PAD_BYTES(width, 4);
    status = codec.read(&record, IJL_JBUFF_READWHOLEIMAGE);
  }
  codec.release(&record);
  if (status != IJL_OK || pixels.empty()) return fail(path + ": the decode gave " + std::to_string(status));

  const std::string outPath = withoutExtension(path) + ".ppm";
  std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
  out << "P6\n" << width << ' ' << height << "\n255\n";
  for (std::size_t i = 0; i < pixels.size(); i += 4) {
    out.write(reinterpret_cast<const char*>(&pixels[i]), 3);  // red, green, blue; the fourth byte is unused
  }
  out.close();
  if (!out) return fail("cannot write " + outPath);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: velmora-decode-slides CODEC JPEG...\n");
    return 2;
  }
  void* library = platform::loadLibrary(argv[1]);
  if (!library) {
    fail(std::string("cannot load ") + argv[1]);
    return 1;
  }
  Codec codec;
  codec.init = reinterpret_cast<IjlInitFn>(platform::findSymbol(library, "ijlInit"));
  codec.read = reinterpret_cast<IjlReadFn>(platform::findSymbol(library, "ijlRead"));
  codec.release = reinterpret_cast<IjlFreeFn>(platform::findSymbol(library, "ijlFree"));
  if (!codec.init || !codec.read || !codec.release) {
    fail("the codec lacks an entry point");
    return 1;
  }
  bool allDecoded = true;
  for (int i = 2; i < argc; ++i) allDecoded = decodeOne(codec, argv[i]) && allDecoded;
  return allDecoded ? 0 : 1;
}
