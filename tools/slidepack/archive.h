// The slide archive's layout, as slidepack writes and checks it.
//
// A directory of 32 slots of 48 bytes (name: 40 bytes NUL-padded; offset and
// size: 32-bit little-endian), then the bodies back to back from offset
// 1536. Slot 0 is all zero, slot 1 is the codec library (its name begins
// with "ij"), the slides follow in order, and every slot after the last
// entry is all zero. Only the standard library is used: the build runs
// slidepack on the build machine, also when it cross-builds the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::slidepack {

inline constexpr std::size_t kSlots = 32;
inline constexpr std::size_t kSlotBytes = 48;
inline constexpr std::size_t kNameBytes = 40;
inline constexpr std::size_t kDirectoryBytes = kSlots * kSlotBytes;  // 1536
inline constexpr std::size_t kMaxNameLength = kNameBytes - 1;        // one NUL always follows
inline constexpr std::size_t kMaxSlides = kSlots - 2;                // slot 0 empty, slot 1 the codec
// The program keeps offsets and sizes as 32-bit signed integers.
inline constexpr std::uint64_t kMaxArchiveBytes = 0x7FFFFFFF;
// The program loads the codec under this name, whatever its entry is called.
inline constexpr std::string_view kCodecName = "ijl10.dll";

// Bad input for an archive, with the reason in what().
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file to pack: its name in the directory and its length.
struct Member {
  std::string name;
  std::uint64_t size = 0;
};

// One directory slot in use.
struct Entry {
  std::size_t slot = 0;
  std::string name;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
};

// The directory for the codec and the slides, in that order, or
// ArchiveError when they cannot make a sound archive: no slides or more
// than 30, an empty file, a name longer than 39 bytes or holding a NUL, a
// codec name without "ij" at its start or without ".dll", a slide name
// without ".jpg" (the program tells slides by those exact bytes) or with
// ".dll" (the program would write it out as a codec), or more than
// kMaxArchiveBytes in all.
std::vector<Entry> planArchive(const Member& codec, const std::vector<Member>& slides);

// The archive's bytes: the directory of `entries` (from planArchive) and
// the bodies, one per entry and as long as it says.
std::vector<std::uint8_t> writeArchive(const std::vector<Entry>& entries,
                                       const std::vector<std::span<const std::uint8_t>>& bodies);

// The slots of an archive's directory whose name is not empty, read as they
// are (names up to the first NUL or all 40 bytes). Empty when the archive
// is shorter than its directory.
std::vector<Entry> readDirectory(std::span<const std::uint8_t> archive);

// Why the archive breaks the layout rules, or an empty string when it keeps
// them all and has a codec and at least one slide.
std::string findDamage(std::span<const std::uint8_t> archive);

// The name with bytes outside printable ASCII shown as \xNN.
std::string printableName(std::string_view name);

}  // namespace velmora::slidepack
