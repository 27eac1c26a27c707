#include "tools/slidepack/archive.h"

#include <algorithm>
#include <cstdio>

namespace velmora::slidepack {
namespace {

using Bytes = std::span<const std::uint8_t>;

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

std::string quoted(std::string_view name) { return "\"" + printableName(name) + "\""; }

void checkName(std::string_view what, std::string_view name) {
  if (name.empty()) throw ArchiveError(std::string(what) + " has an empty name");
  if (name.size() > kMaxNameLength) {
    throw ArchiveError(std::string(what) + " name " + quoted(name) + " is " + std::to_string(name.size()) +
                       " bytes long; at most " + std::to_string(kMaxNameLength) + " fit a directory slot");
  }
  if (contains(name, std::string_view("\0", 1))) {
    throw ArchiveError(std::string(what) + " name " + quoted(name) + " holds a NUL byte");
  }
}

std::uint32_t readU32(Bytes bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

void writeU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool allZero(Bytes bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

std::string slotName(std::size_t slot) { return "slot " + std::to_string(slot); }

}  // namespace

std::string printableName(std::string_view name) {
  std::string out;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '\\') {
      out += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    }
  }
  return out;
}

std::vector<Entry> planArchive(const Member& codec, const std::vector<Member>& slides) {
  checkName("the codec", codec.name);
  if (codec.name.rfind("ij", 0) != 0) {
    throw ArchiveError("the codec name " + quoted(codec.name) +
                       " does not begin with \"ij\", which the program checks to know the archive");
  }
  if (!contains(codec.name, ".dll")) {
    throw ArchiveError("the codec name " + quoted(codec.name) + " lacks \".dll\": the program would not load it");
  }
  if (contains(codec.name, ".jpg")) {
    throw ArchiveError("the codec name " + quoted(codec.name) +
                       " holds \".jpg\": the program would take it for a slide");
  }
  if (codec.size == 0) throw ArchiveError("the codec library is empty");
  if (slides.empty()) throw ArchiveError("no slides given");
  if (slides.size() > kMaxSlides) {
    throw ArchiveError(std::to_string(slides.size()) + " slides given; the directory holds at most " +
                       std::to_string(kMaxSlides));
  }
  for (const Member& slide : slides) {
    checkName("a slide", slide.name);
    if (!contains(slide.name, ".jpg")) {
      throw ArchiveError("the slide name " + quoted(slide.name) +
                         " lacks \".jpg\" (lower case): the program would not show it");
    }
    if (contains(slide.name, ".dll")) {
      throw ArchiveError("the slide name " + quoted(slide.name) +
                         " holds \".dll\": the program would write it out as a codec library");
    }
    if (slide.size == 0) throw ArchiveError("the slide " + quoted(slide.name) + " is empty");
  }

  std::vector<Entry> entries;
  std::uint64_t end = kDirectoryBytes;
  auto add = [&](const Member& member) {
    // Each size is checked against what is left before it is added, so the
    // sum cannot wrap.
    if (member.size > kMaxArchiveBytes - end) {
      throw ArchiveError("the archive would exceed " + std::to_string(kMaxArchiveBytes) + " bytes at " +
                         quoted(member.name));
    }
    entries.push_back(
        {entries.size() + 1, member.name, static_cast<std::uint32_t>(end), static_cast<std::uint32_t>(member.size)});
    end += member.size;
  };
  add(codec);
  for (const Member& slide : slides) add(slide);
  return entries;
}

std::vector<std::uint8_t> writeArchive(const std::vector<Entry>& entries, const std::vector<Bytes>& bodies) {
  if (bodies.size() != entries.size()) throw ArchiveError("one body is needed for every entry");
  std::uint64_t total = kDirectoryBytes;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (bodies[i].size() != entries[i].size) {
      throw ArchiveError("the body of " + quoted(entries[i].name) + " is not the planned size");
    }
    if (entries[i].offset != total || entries[i].slot != i + 1 || entries[i].name.size() > kMaxNameLength) {
      throw ArchiveError("the entries are not a planned directory");
    }
    total += entries[i].size;
  }
  std::vector<std::uint8_t> archive(static_cast<std::size_t>(total), 0);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::size_t slot = entries[i].slot * kSlotBytes;
    std::copy(entries[i].name.begin(), entries[i].name.end(), archive.begin() + static_cast<std::ptrdiff_t>(slot));
    writeU32(archive, slot + kNameBytes, entries[i].offset);
    writeU32(archive, slot + kNameBytes + 4, entries[i].size);
    std::copy(bodies[i].begin(), bodies[i].end(), archive.begin() + static_cast<std::ptrdiff_t>(entries[i].offset));
  }
  return archive;
}

std::vector<Entry> readDirectory(Bytes archive) {
  std::vector<Entry> entries;
  if (archive.size() < kDirectoryBytes) return entries;
  for (std::size_t slot = 0; slot < kSlots; ++slot) {
    const Bytes field = archive.subspan(slot * kSlotBytes, kNameBytes);
    const auto nul = std::find(field.begin(), field.end(), std::uint8_t{0});
    std::string name(field.begin(), nul);
    if (name.empty()) continue;
    entries.push_back({slot, std::move(name), readU32(archive, slot * kSlotBytes + kNameBytes),
                       readU32(archive, slot * kSlotBytes + kNameBytes + 4)});
  }
  return entries;
}

std::string findDamage(Bytes archive) {
  if (archive.size() < kDirectoryBytes) {
    return "the archive is " + std::to_string(archive.size()) + " bytes, shorter than its " +
           std::to_string(kDirectoryBytes) + "-byte directory";
  }
  if (archive.size() > kMaxArchiveBytes) {
    return "the archive is larger than " + std::to_string(kMaxArchiveBytes) + " bytes";
  }
  if (!allZero(archive.first(kSlotBytes))) return "slot 0 is not all zero";
  if (archive[48] != 'i' || archive[49] != 'j') return "bytes 48 and 49 are not \"ij\": slot 1 is not the codec";

  std::uint64_t end = kDirectoryBytes;
  bool slideSeen = false;
  for (std::size_t slot = 1; slot < kSlots; ++slot) {
    const Bytes bytes = archive.subspan(slot * kSlotBytes, kSlotBytes);
    const Bytes field = bytes.first(kNameBytes);
    const auto nul = std::find(field.begin(), field.end(), std::uint8_t{0});
    if (nul == field.end()) return slotName(slot) + ": the name fills all 40 bytes without a NUL";
    if (!allZero(Bytes(nul, field.end()))) return slotName(slot) + ": bytes after the name's NUL are not zero";
    const std::string name(field.begin(), nul);
    if (name.empty()) {
      // The first empty slot ends the directory; it and every later slot
      // are all zero.
      if (!allZero(bytes)) return slotName(slot) + " has no name but is not all zero";
      for (std::size_t rest = slot + 1; rest < kSlots; ++rest) {
        if (!allZero(archive.subspan(rest * kSlotBytes, kSlotBytes))) {
          return slotName(rest) + " is in use after the empty " + slotName(slot);
        }
      }
      break;
    }
    const std::uint32_t offset = readU32(bytes, kNameBytes);
    const std::uint32_t size = readU32(bytes, kNameBytes + 4);
    if (offset != end) {
      return slotName(slot) + " (" + quoted(name) + "): body at offset " + std::to_string(offset) + ", expected " +
             std::to_string(end) + " (bodies follow one another from " + std::to_string(kDirectoryBytes) + ")";
    }
    if (size > archive.size() - end) {
      return slotName(slot) + " (" + quoted(name) + "): body of " + std::to_string(size) + " bytes at " +
             std::to_string(offset) + " runs past the archive's end at " + std::to_string(archive.size());
    }
    end += size;
    if (slot == 1 && !contains(name, ".dll")) {
      return "slot 1 (" + quoted(name) + ") is not a \".dll\": the program would bind no codec";
    }
    slideSeen = slideSeen || contains(name, ".jpg");
  }
  if (end != archive.size()) {
    return "the bodies end at " + std::to_string(end) + " but the archive is " + std::to_string(archive.size()) +
           " bytes";
  }
  if (!slideSeen) return "no entry's name holds \".jpg\": the archive has no slides";
  return {};
}

}  // namespace velmora::slidepack
