// The slide archive: find it, check it, list its slides, extract the codec
// library into the temporary directory and bind its entry points.
#include "slides/archive.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <string_view>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/files.h"
#include "platform/input.h"
#include "platform/library.h"
#include "platform/process.h"
#include "platform/resources.h"
#include "slides/slides.h"

namespace velmora {

std::span<const std::uint8_t> slideArchive;
SlideTable slideTable;
CodecBinding codecBinding;
bool inPreviewMode = false;

namespace {

constexpr std::size_t kNameBytes = 40;
constexpr std::size_t kCheckOffset = 48;  // slot 1's name: "ij" of the codec library

struct ArchiveEntry {
  std::string name;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
};

std::uint32_t readLittleEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

// Slot k of the directory copy. The name runs to its first NUL, or fills all
// 40 bytes when there is none.
ArchiveEntry readEntry(const std::array<std::uint8_t, kArchiveDirectoryBytes>& directory, int slot) {
  const std::uint8_t* bytes = directory.data() + static_cast<std::size_t>(slot) * kArchiveSlotBytes;
  const std::uint8_t* nameEnd = std::find(bytes, bytes + kNameBytes, std::uint8_t{0});
  ArchiveEntry entry;
  entry.name.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(nameEnd - bytes));
  entry.offset = readLittleEndian32(bytes + kNameBytes);
  entry.size = readLittleEndian32(bytes + kNameBytes + 4);
  return entry;
}

// A body lies wholly inside the archive, and its offset and size fit the
// slide table's 32-bit signed fields.
bool bodyInside(const ArchiveEntry& entry, std::size_t archiveSize) {
  constexpr auto kMaxField = static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
  return entry.offset <= kMaxField && entry.size <= kMaxField && entry.offset <= archiveSize &&
         entry.size <= archiveSize - entry.offset;
}

bool contains(std::string_view name, std::string_view part) { return name.find(part) != std::string_view::npos; }

// Writes the codec library's bytes to `path`. Linux writes a new file and
// renames it over the old one, so that another running instance that has the
// old file mapped keeps an intact library. Windows cannot replace a library
// that another instance has loaded, and has no need to: the file is opened,
// written over and closed, and when that fails (the file is held) the one
// already there is loaded. The results are not examined either way.
void writeCodecFile(const std::string& path, std::span<const std::uint8_t> body) {
#ifdef _WIN32
  if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(body.data(), 1, body.size(), file);
    std::fclose(file);
  }
#else
  platform::replaceFile(path, body);
#endif
}

template <typename Fn>
Fn entryPoint(void* library, const char* name) {
  return reinterpret_cast<Fn>(platform::findSymbol(library, name));
}

CodecBinding bindCodec(const std::string& path) {
  CodecBinding binding;
  binding.library = platform::loadLibrary(path);
  binding.ijlInit = entryPoint<IjlInitFn>(binding.library, "ijlInit");
  binding.ijlFree = entryPoint<IjlFreeFn>(binding.library, "ijlFree");
  binding.ijlRead = entryPoint<IjlReadFn>(binding.library, "ijlRead");
  binding.ijlWrite = entryPoint<IjlWriteFn>(binding.library, "ijlWrite");
  binding.ijlGetLibVersion = entryPoint<IjlGetLibVersionFn>(binding.library, "ijlGetLibVersion");
  binding.ijlErrorStr = entryPoint<IjlErrorStrFn>(binding.library, "ijlErrorStr");
  return binding;
}

}  // namespace

std::string temporaryDirectory(char separator) {
  std::string directory;
  if (separator == '\\') {
    directory = platform::environmentVariable("TMP").value_or(std::string());
  } else {
    for (const char* name : {"TMP", "TMPDIR"}) {
      directory = platform::environmentVariable(name).value_or(std::string());
      if (!directory.empty()) break;
    }
    if (directory.empty()) directory = "/tmp";
  }
  if (directory.empty() || directory.back() != separator) directory += separator;
  return directory;
}

void reportBadArchive() {
  if (inPreviewMode || !platform::surfaceIsOpen()) {
    // No surface to write on and no window to take a key from.
    platform::debugMessage(kBadArchiveMessage);
    platform::exitProcess(0);
  }
  platform::writeConsoleLine(kBadArchiveMessage);
  while (!platform::pollKey()) platform::pause(100);
  platform::exitProcess(0);
}

void openSlideArchiveFrom(std::span<const std::uint8_t> archive) {
  const std::string directoryPath = temporaryDirectory(platform::pathSeparator());

  if (archive.size() < kCheckOffset + 2 || archive[kCheckOffset] != 'i' || archive[kCheckOffset + 1] != 'j') {
    reportBadArchive();
  }
  // An archive too short for its directory, or an entry whose body does not
  // lie inside the archive, is as damaged as one that fails the check: the
  // program never reads beyond the archive's last byte.
  if (archive.size() < kArchiveDirectoryBytes) reportBadArchive();

  std::array<std::uint8_t, kArchiveDirectoryBytes> directory{};
  std::copy_n(archive.begin(), kArchiveDirectoryBytes, directory.begin());

  std::array<ArchiveEntry, kMaxSlides> entries;
  std::size_t entryCount = 0;
  for (int slot = 1; slot < kArchiveSlots; ++slot) {
    ArchiveEntry entry = readEntry(directory, slot);
    if (entry.name.empty()) break;  // the end of the directory
    if (!bodyInside(entry, archive.size())) reportBadArchive();
    entries[entryCount++] = std::move(entry);
  }

  SlideTable table;
  CodecBinding binding;
  for (std::size_t i = 0; i < entryCount; ++i) {
    const ArchiveEntry& entry = entries[i];
    if (contains(entry.name, ".jpg")) {
      table.lastSlide += 1;
      const auto index = static_cast<std::size_t>(table.lastSlide);
      table.slideOffset[index] = static_cast<std::int32_t>(entry.offset);
      table.slideSize[index] = static_cast<std::int32_t>(entry.size);
    }
    if (contains(entry.name, ".dll")) {
      writeCodecFile(directoryPath + entry.name, archive.subspan(entry.offset, entry.size));
      binding = bindCodec(directoryPath + kCodecFileName);
    }
  }

  // Without a slide or a working codec there is nothing to show; that is a
  // damaged archive as well, and no decode ever calls a missing entry point.
  if (table.count() == 0 || !binding.library || !binding.complete()) reportBadArchive();

  slideArchive = archive;
  slideTable = table;
  codecBinding = binding;
}

void openSlideArchive() { openSlideArchiveFrom(platform::findResource("GRAF", "CODE")); }

}  // namespace velmora
