// slidepack's archive logic: the layout it writes, the input it refuses,
// the damage it finds, and the archive the build embeds in the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "platform/resources.h"
#include "tools/slidepack/archive.h"

namespace velmora::slidepack {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes filled(std::size_t size, std::uint8_t value) { return Bytes(size, value); }

std::uint32_t u32At(const Bytes& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

void setU32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The codec (5 bytes of 'C') and two slides (3 of 'A', 4 of 'B').
Bytes smallArchive() {
  const std::vector<Entry> entries = planArchive({"ijl10.dll", 5}, {{"a.jpg", 3}, {"b.jpg", 4}});
  const Bytes codec = filled(5, 'C');
  const Bytes a = filled(3, 'A');
  const Bytes b = filled(4, 'B');
  return writeArchive(entries, {codec, a, b});
}

TEST(SlidePack, WritesTheDirectoryAndTheBodiesBackToBack) {
  const Bytes archive = smallArchive();
  ASSERT_EQ(archive.size(), 1536u + 5 + 3 + 4);
  const struct {
    std::size_t slot;
    std::string name;
    std::uint32_t offset;
    std::uint32_t size;
    char fill;
  } expected[] = {{1, "ijl10.dll", 1536, 5, 'C'}, {2, "a.jpg", 1541, 3, 'A'}, {3, "b.jpg", 1544, 4, 'B'}};
  for (const auto& e : expected) {
    SCOPED_TRACE(e.name);
    const std::size_t at = e.slot * 48;
    EXPECT_EQ(std::string(archive.begin() + static_cast<std::ptrdiff_t>(at),
                          archive.begin() + static_cast<std::ptrdiff_t>(at + e.name.size())),
              e.name);
    for (std::size_t i = e.name.size(); i < 40; ++i) EXPECT_EQ(archive[at + i], 0) << i;
    EXPECT_EQ(u32At(archive, at + 40), e.offset);
    EXPECT_EQ(u32At(archive, at + 44), e.size);
    for (std::uint32_t i = 0; i < e.size; ++i) EXPECT_EQ(archive[e.offset + i], e.fill);
  }
  for (std::size_t i = 0; i < 48; ++i) EXPECT_EQ(archive[i], 0) << i;
  for (std::size_t i = 4 * 48; i < 1536; ++i) ASSERT_EQ(archive[i], 0) << i;

  EXPECT_EQ(findDamage(archive), "");
  const std::vector<Entry> listed = readDirectory(archive);
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[2].slot, 3u);
  EXPECT_EQ(listed[2].name, "b.jpg");
  EXPECT_EQ(listed[2].offset, 1544u);
}

TEST(SlidePack, TakesTheLargestSoundInput) {
  std::vector<Member> slides(kMaxSlides, Member{std::string(35, 's') + ".jpg", 1});  // 39-byte names
  EXPECT_EQ(planArchive({"ijl10.dll", 1}, slides).size(), 31u);
  // Exactly the largest size whose offsets and sizes the program can hold.
  const std::vector<Entry> entries = planArchive({"ijl10.dll", kMaxArchiveBytes - 1536 - 1}, {{"x.jpg", 1}});
  EXPECT_EQ(std::uint64_t{entries[1].offset} + entries[1].size, kMaxArchiveBytes);
}

struct BadInput {
  const char* what;
  Member codec;
  std::vector<Member> slides;
  const char* reason;  // part of the message
};

TEST(SlidePack, RefusesInputThatMakesNoSoundArchive) {
  const Member codec{"ijl10.dll", 100};
  const Member slide{"slide.jpg", 100};
  const BadInput cases[] = {
      {"codec without \"ij\"", {"xjl10.dll", 100}, {slide}, "does not begin with \"ij\""},
      {"codec without .dll", {"ijl10", 100}, {slide}, "lacks \".dll\""},
      {"codec named like a slide", {"ijl10.dll.jpg", 100}, {slide}, "holds \".jpg\""},
      {"empty codec", {"ijl10.dll", 0}, {slide}, "codec library is empty"},
      {"no slides", codec, {}, "no slides"},
      {"31 slides", codec, std::vector<Member>(31, slide), "31 slides given"},
      {"40-byte name", codec, {{std::string(36, 'n') + ".jpg", 100}}, "is 40 bytes long"},
      {"upper-case .JPG", codec, {{"photo.JPG", 100}}, "lacks \".jpg\""},
      {"slide named like a codec", codec, {{"x.dll.jpg", 100}}, "holds \".dll\""},
      {"name with a NUL", codec, {{std::string("a\0b.jpg", 7), 100}}, "NUL"},
      {"empty slide", codec, {slide, {"empty.jpg", 0}}, "\"empty.jpg\" is empty"},
      {"one byte too many", {"ijl10.dll", kMaxArchiveBytes - 1536}, {{"x.jpg", 1}}, "would exceed"},
      {"a slide of 4 GiB", codec, {{"huge.jpg", std::uint64_t{1} << 32}}, "would exceed"},
  };
  for (const BadInput& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      planArchive(c.codec, c.slides);
      ADD_FAILURE() << "accepted";
    } catch (const ArchiveError& error) {
      EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
    }
  }
}

struct Damage {
  const char* what;
  std::function<void(Bytes&)> edit;
  const char* reason;  // part of the finding
};

TEST(SlidePack, FindsEveryBrokenLayoutRule) {
  const Damage cases[] = {
      {"shorter than the directory", [](Bytes& a) { a.resize(1000); }, "shorter than its 1536-byte directory"},
      {"slot 0 in use", [](Bytes& a) { a[47] = 1; }, "slot 0 is not all zero"},
      {"no \"ij\" at 48", [](Bytes& a) { a[49] = 'J'; }, "not \"ij\""},
      {"a name without a NUL", [](Bytes& a) { std::fill_n(a.begin() + 96, 40, 'n'); }, "slot 2: the name fills"},
      {"bytes after a name's NUL", [](Bytes& a) { a[96 + 30] = 'x'; }, "slot 2: bytes after the name's NUL"},
      {"an empty slot with an offset", [](Bytes& a) { a[4 * 48 + 40] = 1; }, "slot 4 has no name"},
      {"an entry after the empty slot", [](Bytes& a) { std::copy_n(a.begin() + 96, 48, a.begin() + 5 * 48); },
       "slot 5 is in use after the empty slot 4"},
      {"a gap in the directory", [](Bytes& a) { std::fill_n(a.begin() + 96, 48, 0); },
       "slot 3 is in use after the empty slot 2"},
      {"a body out of place", [](Bytes& a) { setU32(a, 96 + 40, 1540); },
       "slot 2 (\"a.jpg\"): body at offset 1540, expected 1541"},
      {"a body past the end", [](Bytes& a) { setU32(a, 3 * 48 + 44, 5); }, "runs past the archive's end"},
      {"a size that wraps", [](Bytes& a) { setU32(a, 3 * 48 + 44, 0xFFFFFFFF); }, "runs past the archive's end"},
      {"bytes after the last body", [](Bytes& a) { a.push_back(0); }, "the bodies end at 1548 but the archive is 1549"},
      {"slot 1 not a library", [](Bytes& a) { a[48 + 6] = 'x'; }, "slot 1 (\"ijl10.xll\") is not a \".dll\""},
      {"no slide",
       [](Bytes& a) {
         a[96 + 2] = 'p';
         a[144 + 2] = 'p';
       },
       "no slides"},
  };
  for (const Damage& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes archive = smallArchive();
    c.edit(archive);
    const std::string damage = findDamage(archive);
    EXPECT_NE(damage.find(c.reason), std::string::npos) << damage;
  }
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(SlidePack, TheBuiltInArchiveHoldsTheBuiltCodecAndTheSixteenSlides) {
  const std::span<const std::uint8_t> graf = platform::findResource("GRAF", "CODE");
  ASSERT_FALSE(graf.empty());
  EXPECT_EQ(findDamage(graf), "");
  const std::vector<Entry> entries = readDirectory(graf);
  ASSERT_EQ(entries.size(), 17u);
  const auto body = [&](const Entry& e) {
    const std::span<const std::uint8_t> part = graf.subspan(e.offset, e.size);
    return Bytes(part.begin(), part.end());
  };
  EXPECT_EQ(entries[0].name, "ijl10.dll");
  EXPECT_TRUE(body(entries[0]) == readFile(VELMORA_CODEC_PATH));
  for (std::size_t i = 1; i < entries.size(); ++i) {
    const std::string name = std::string("slide") + (i < 10 ? "0" : "") + std::to_string(i) + ".jpg";
    SCOPED_TRACE(name);
    EXPECT_EQ(entries[i].name, name);
    EXPECT_TRUE(body(entries[i]) == readFile(std::string(VELMORA_SOURCE_DIR) + "/resources/slides/" + name));
  }
}

}  // namespace
}  // namespace velmora::slidepack
