// The slide source: the archive inside the program, the codec that decodes
// its slides, and the one decoded picture.
//
// openSlideArchive finds the archive ("GRAF"), checks it, lists its slides,
// writes the codec library to the temporary directory and binds it.
// decodeSlide decodes one slide straight from the archive into the
// DecodedImage, and conditionPixels prepares its pixels for the mode.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "codec/ijl.h"
#include "platform/pixels.h"

namespace velmora {

inline constexpr int kArchiveSlots = 32;
inline constexpr int kArchiveSlotBytes = 48;
inline constexpr int kArchiveDirectoryBytes = kArchiveSlots * kArchiveSlotBytes;  // 1536
inline constexpr int kMaxSlides = kArchiveSlots - 1;

struct SlideTable {
  std::array<std::int32_t, kMaxSlides> slideOffset{};
  std::array<std::int32_t, kMaxSlides> slideSize{};
  std::int32_t lastSlide = -1;  // N = lastSlide + 1 slides

  int count() const { return lastSlide + 1; }
};

struct CodecBinding {
  void* library = nullptr;
  IjlInitFn ijlInit = nullptr;
  IjlFreeFn ijlFree = nullptr;
  IjlReadFn ijlRead = nullptr;
  IjlWriteFn ijlWrite = nullptr;
  IjlGetLibVersionFn ijlGetLibVersion = nullptr;
  IjlErrorStrFn ijlErrorStr = nullptr;

  bool complete() const {
    return ijlInit && ijlFree && ijlRead && ijlWrite && ijlGetLibVersion && ijlErrorStr;
  }
};

// Program-wide state of the slide source.
extern std::span<const std::uint8_t> slideArchive;  // the archive's bytes; base = data()
extern SlideTable slideTable;
extern CodecBinding codecBinding;
extern std::unique_ptr<platform::Image> decodedImage;
extern std::int32_t decodedWidth;
extern std::int32_t decodedHeight;
extern bool inPreviewMode;

// Finds, checks and lists the archive, extracts and binds the codec. On a
// damaged archive it shows "bad archive link", waits for a key and ends the
// process with exit code 0.
void openSlideArchive();

// Decodes the slide at `offset`, `size` into the DecodedImage and conditions
// it. 0 after a decode, or ijlInit's status when that failed.
std::int32_t decodeSlide(std::int32_t offset, std::int32_t size);

// Cuts every channel to its top 6 bits (preview) or scales it by
// brightnessLevel with ties to even (show, configuration).
void conditionPixels(platform::Image& image, std::int32_t width, std::int32_t height);

// Everything above back to its start values (for tests).
void resetSlideSource();

}  // namespace velmora
