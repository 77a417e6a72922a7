#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string_view>

#include "virtualprinter/BitmapFont.h"

namespace quillmark {
namespace {

// Catches slips in the glyph drawings: a blank or repeated glyph, a dot outside the grid
// that would touch a neighbour, a descender where none belongs.
TEST(BitmapFont, EveryPrintableCharacterHasItsOwnGlyphInsideTheCell) {
  std::set<std::array<std::uint16_t, kGlyphCellHeight>> seen;
  for (int c = 0x00; c <= 0xFF; ++c) {
    std::array<std::uint16_t, kGlyphCellHeight> rows{};
    int dots = 0;
    for (int y = 0; y < kGlyphCellHeight; ++y) {
      const std::uint16_t row = GlyphRow(static_cast<std::uint8_t>(c), y);
      rows[static_cast<std::size_t>(y)] = row;
      dots += row != 0;
      const bool margin = y < 4 || y >= 22;  // blank rows above and below
      EXPECT_EQ(row & (margin ? 0xFFFFU : 0xF801U), 0U) << "character " << c << " row " << y;
    }
    const bool printable = c > 0x20 && c < 0x7F;
    EXPECT_EQ(dots > 0, printable) << "character " << c;
    if (printable) {
      EXPECT_TRUE(seen.insert(rows).second) << "character " << c << " repeats";
    }
  }
  for (char c : std::string_view("gjpqy,;_[]|"))
    EXPECT_NE(GlyphRow(static_cast<std::uint8_t>(c), 19), 0) << c;  // below the baseline
  for (char c : std::string_view("axAZ09.-"))
    EXPECT_EQ(GlyphRow(static_cast<std::uint8_t>(c), 19), 0) << c;
}

}  // namespace
}  // namespace quillmark
