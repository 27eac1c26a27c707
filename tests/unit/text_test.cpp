// The text renderer: opaque 8 x 13 cells in the built-in font, painted one
// pixel at a time and clipped by the surface.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/resources.h"
#include "present/text.h"
#include "tests/fake/fake_platform.h"

namespace velmora {
namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr platform::Pixel kUntouched = 0x12345678u;

// One character cell a text should paint: its top-left pixel and its code.
struct Cell {
  int x;
  int y;
  unsigned char code;
};

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    resetGlyphFont();
    ASSERT_TRUE(platform::openFullScreen(kWidth, kHeight));
    platform::fillBox(platform::IntRect{0, 0, kWidth - 1, kHeight - 1}, kUntouched);
  }
  void TearDown() override { resetGlyphFont(); }

  static std::vector<platform::Pixel> snapshot() {
    const platform::Canvas* c = fake::canvas();
    return std::vector<platform::Pixel>(c->pixels, c->pixels + static_cast<std::ptrdiff_t>(c->pitch) * c->height);
  }

  static int paintedPixels() {
    int n = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) n += fake::pixel(x, y) != kUntouched;
    return n;
  }

  // Every visible pixel of each cell shows its glyph (white dots on black),
  // and nothing outside the cells was touched.
  static void expectCells(const std::vector<Cell>& cells, const std::string& label) {
    const std::uint8_t* font = glyphFont();
    ASSERT_NE(font, nullptr);
    int visible = 0;
    for (const Cell& cell : cells) {
      const std::uint8_t* glyph = font + (cell.code - 32) * kGlyphRows;
      for (int r = 0; r < kGlyphRows; ++r) {
        for (int i = 0; i < 8; ++i) {
          const int x = cell.x + i;
          const int y = cell.y + r;
          if (x < 0 || x >= kWidth || y < 0 || y >= kHeight) continue;
          ++visible;
          const platform::Pixel want = (glyph[r] & (0x80 >> i)) ? 0xFFFFFFFFu : 0x00000000u;
          ASSERT_EQ(fake::pixel(x, y), want) << label << " at " << x << "," << y;
        }
      }
    }
    EXPECT_EQ(paintedPixels(), visible) << label;
  }
};

// Glyph 33 ('A') as stored, and as drawn after its seven bottom rows were
// made bolder once.
constexpr std::uint8_t kStoredA[kGlyphRows] = {0x00, 0x00, 0x18, 0x24, 0x42, 0x42, 0x42,
                                              0x7E, 0x42, 0x42, 0x42, 0x00, 0x00};
constexpr std::uint8_t kBoldA[kGlyphRows] = {0x00, 0x00, 0x18, 0x24, 0x42, 0x42, 0xC6,
                                            0xFE, 0xC6, 0xC6, 0xC6, 0x00, 0x00};

TEST_F(TextTest, TheBuiltInFontIsWholeAndTheClockGlyphsHaveBlankEdges) {
  const auto stored = platform::findResource("VGAFIX", "CODE");
  ASSERT_EQ(stored.size(), 2912u);
  for (const char c : std::string("0123456789:")) {
    const std::size_t at = static_cast<std::size_t>(c - 32) * kGlyphRows;
    EXPECT_EQ(stored[at], 0) << "top row of '" << c << "'";
    EXPECT_EQ(stored[at + 12], 0) << "bottom row of '" << c << "'";
    EXPECT_EQ(glyphFont()[at], 0) << "top row of bold '" << c << "'";
    EXPECT_EQ(glyphFont()[at + 12], 0) << "bottom row of bold '" << c << "'";
  }
  for (int r = 0; r < kGlyphRows; ++r) EXPECT_EQ(stored[static_cast<std::size_t>(33 * kGlyphRows + r)], kStoredA[r]) << "row " << r;
}

TEST_F(TextTest, TheLowerRowsAreMadeBolderOnceAndOnlyOnce) {
  for (int r = 0; r < kGlyphRows; ++r) EXPECT_EQ(glyphFont()[33 * kGlyphRows + r], kBoldA[r]) << "row " << r;
  drawText(10, 10, "AAA");
  drawText(10, 10, "AAA");
  for (int r = 0; r < kGlyphRows; ++r) EXPECT_EQ(glyphFont()[33 * kGlyphRows + r], kBoldA[r]) << "row " << r;
  // What reaches the screen is the bold glyph: row 7 of the first 'A' is
  // 0xFE, seven white pixels and a black one.
  for (int i = 0; i < 8; ++i) EXPECT_EQ(fake::pixel(10 + i, 12 + 7), i < 7 ? 0xFFFFFFFFu : 0u) << i;
}

TEST_F(TextTest, EmboldeningWorksOnTheStoredBytesOfAnyFont) {
  // One glyph with a pattern in every row; the others blank.
  std::vector<std::uint8_t> bytes(2912, 0);
  const std::uint8_t rows[kGlyphRows] = {0x81, 0x01, 0x80, 0x55, 0xAA, 0xF0, 0x81, 0x01, 0x80, 0x55, 0xAA, 0xF0, 0x0F};
  const std::uint8_t bold[kGlyphRows] = {0x81, 0x01, 0x80, 0x55, 0xAA, 0xF0, 0x83, 0x03, 0x80, 0xFF, 0xFE, 0xF0, 0x1F};
  for (int r = 0; r < kGlyphRows; ++r) bytes[static_cast<std::size_t>(223 * kGlyphRows + r)] = rows[r];
  loadGlyphFont(bytes);
  for (int r = 0; r < kGlyphRows; ++r) EXPECT_EQ(glyphFont()[223 * kGlyphRows + r], bold[r]) << "row " << r;
  drawText(0, 0, "\xFF");
  expectCells({{0, 2, 0xFF}}, "glyph 223");
}

TEST_F(TextTest, TextsPaintTheirCells) {
  struct Case {
    int x;
    int y;
    std::string text;
    std::vector<Cell> cells;
  };
  const std::vector<Case> cases = {
      {100, 100, "", {}},
      {100, 100, " ", {{100, 102, ' '}}},
      {480, 376, "12:34:56",
       {{480, 378, '1'}, {488, 378, '2'}, {496, 378, ':'}, {504, 378, '3'},
        {512, 378, '4'}, {520, 378, ':'}, {528, 378, '5'}, {536, 378, '6'}}},
      {100, 50, "ab\ncd", {{100, 52, 'a'}, {108, 52, 'b'}, {100, 68, 'c'}, {108, 68, 'd'}}},
      {100, 50, "ab\r\ncd", {{100, 52, 'a'}, {108, 52, 'b'}, {100, 68, 'c'}, {108, 68, 'd'}}},
      {100, 50, "a\n\nb", {{100, 52, 'a'}, {100, 84, 'b'}}},
      {100, 50, "x\n", {{100, 52, 'x'}}},
      {100, 50, "a\tb\rc\x01\x1F" "d", {{100, 52, 'a'}, {116, 52, 'b'}, {132, 52, 'c'}, {156, 52, 'd'}}},
      {100, 50, "\x01\x02\x1B", {}},
      {200, 300, "\x80\xC0\xE0\xFF", {{200, 302, 0x80}, {208, 302, 0xC0}, {216, 302, 0xE0}, {224, 302, 0xFF}}},
      // Cut at every edge, pixel by pixel; nothing wraps.
      {1020, 100, "MW", {{1020, 102, 'M'}, {1028, 102, 'W'}}},
      {100, 760, "Hg", {{100, 762, 'H'}, {108, 762, 'g'}}},
      {-5, 100, "MW", {{-5, 102, 'M'}, {3, 102, 'W'}}},
      {100, -9, "Hg\nAB", {{100, -7, 'H'}, {108, -7, 'g'}, {100, 9, 'A'}, {108, 9, 'B'}}},
      {-3, -4, "#", {{-3, -2, '#'}}},
      {1021, 765, "#", {{1021, 767, '#'}}},
      {-100, -100, "far", {}},
      {2000, 2000, "far", {}},
      {INT_MAX - 3, INT_MAX - 1, "no overflow\nanywhere", {}},
      {INT_MIN, INT_MIN, "no overflow\nanywhere", {}},
  };
  for (const Case& c : cases) {
    SetUp();
    drawText(c.x, c.y, c.text.c_str());
    expectCells(c.cells, "\"" + c.text + "\" at " + std::to_string(c.x) + "," + std::to_string(c.y));
  }
}

TEST_F(TextTest, ControlBytesLeaveTheOldPixelsInTheirGap) {
  platform::fillBox(platform::IntRect{108, 52, 115, 64}, 0xFF336699u);
  drawText(100, 50, "a\tb");
  for (int y = 52; y <= 64; ++y)
    for (int x = 108; x <= 115; ++x) ASSERT_EQ(fake::pixel(x, y), 0xFF336699u) << x << "," << y;
}

TEST_F(TextTest, RedrawingGivesTheSamePixelsAndReplacesAnEqualLengthText) {
  drawText(480, 376, "98:76:54");
  const auto alone = snapshot();
  drawText(480, 376, "98:76:54");
  EXPECT_EQ(snapshot(), alone);
  SetUp();
  drawText(480, 376, "12:34:56");
  drawText(480, 376, "98:76:54");
  EXPECT_EQ(snapshot(), alone);
}

TEST_F(TextTest, ShortOrMissingFontDrawsNothing) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{13}, std::size_t{2911}}) {
    SetUp();
    resetGlyphFont();
    const std::vector<std::uint8_t> bytes(size, 0xFF);
    loadGlyphFont(bytes);
    EXPECT_EQ(glyphFont(), nullptr) << size;
    drawText(10, 10, "AB\n\xFF");
    EXPECT_EQ(paintedPixels(), 0) << size;
  }
}

TEST_F(TextTest, NoSurfaceNoHarm) {
  platform::closeSurface();
  drawText(0, 0, "12:00:00");
  EXPECT_NE(glyphFont(), nullptr);
}

}  // namespace
}  // namespace velmora
