#include <gtest/gtest.h>

#include <array>
#include <set>

#include "virtualprinter/BitmapFont.h"

namespace quillmark {
namespace {

std::array<std::uint16_t, kGlyphCellHeight> Glyph(std::uint8_t c) {
  std::array<std::uint16_t, kGlyphCellHeight> rows{};
  for (int y = 0; y < kGlyphCellHeight; ++y)
    rows[static_cast<std::size_t>(y)] = GlyphRow(c, y);
  return rows;
}

TEST(BitmapFont, EveryPrintableCharacterHasItsOwnGlyphInsideTheCell) {
  std::set<std::array<std::uint16_t, kGlyphCellHeight>> seen;
  for (int c = 0x21; c <= 0x7E; ++c) {
    const auto rows = Glyph(static_cast<std::uint8_t>(c));
    int dots = 0;
    for (int y = 0; y < kGlyphCellHeight; ++y) {
      const std::uint16_t row = rows[static_cast<std::size_t>(y)];
      dots += row != 0;
      // A blank column each side and blank rows above and below keep neighbours apart.
      EXPECT_EQ(row & 0xF801U, 0) << "character " << c << " row " << y;
      if (y < 4 || y >= 22) {
        EXPECT_EQ(row, 0) << "character " << c << " row " << y;
      }
    }
    EXPECT_GT(dots, 0) << "character " << c << " is blank";
    EXPECT_TRUE(seen.insert(rows).second) << "character " << c << " repeats another glyph";
  }
  for (int c : {0x00, 0x0A, 0x1F, 0x20, 0x7F, 0x80, 0xFF})
    EXPECT_EQ(Glyph(static_cast<std::uint8_t>(c)), (std::array<std::uint16_t, 24>{})) << c;
}

TEST(BitmapFont, DescendersReachBelowTheBaselineOnlyWhereTheyBelong) {
  const auto below = [](char c) { return GlyphRow(static_cast<std::uint8_t>(c), 19) != 0; };
  for (char c : {'g', 'j', 'p', 'q', 'y', ',', ';', '_', '[', ']', '|'})
    EXPECT_TRUE(below(c)) << c;
  for (char c : {'a', 'x', 'A', 'Z', '0', '9', '.', '-'})
    EXPECT_FALSE(below(c)) << c;
}

TEST(BitmapFont, DrawGlyphPlacesTheCellAndClipsAtTheEdge) {
  Paper paper(20);  // room for one whole cell and the left two thirds of another
  ASSERT_TRUE(paper.Feed(30));
  DrawGlyph(paper, 'W', 0, 3);
  DrawGlyph(paper, 'M', 12, 3);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 20; ++x) {
      const int cy = y - 3;
      const std::uint8_t c = x < 12 ? 'W' : 'M';
      const int cx = x % 12;
      const bool expected = ((GlyphRow(c, cy) >> (11 - cx)) & 1U) != 0;
      ASSERT_EQ(paper.Dot(x, y), expected) << x << "," << y;
    }
  }
}

TEST(Paper, GrowsWithWhiteRowsAndKeepsWhatWasPrinted) {
  Paper paper(13);
  EXPECT_EQ(paper.rowBytes(), 2U);
  ASSERT_TRUE(paper.Feed(2));
  paper.SetDot(12, 1);
  paper.SetDot(13, 1);            // outside: ignored
  paper.SetDot(0, 2);             // below the strip: ignored
  ASSERT_TRUE(paper.Feed(1000));  // forces the buffer to move
  EXPECT_EQ(paper.height(), 1002);
  EXPECT_TRUE(paper.Dot(12, 1));
  int black = 0;
  for (int y = 0; y < paper.height(); ++y)
    for (int x = 0; x < 16; ++x)
      black += paper.Dot(x, y);
  EXPECT_EQ(black, 1);
  EXPECT_FALSE(paper.Feed(-1));
  Paper moved = std::move(paper);
  EXPECT_TRUE(moved.Dot(12, 1));
  EXPECT_EQ(paper.height(), 0);  // NOLINT(bugprone-use-after-move): moved-from is empty
}

}  // namespace
}  // namespace quillmark
