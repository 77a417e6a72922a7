#pragma once

#include <cstdint>

#include "virtualprinter/Paper.h"

namespace quillmark {

// The virtual printer's one text font: printable ASCII (0x20 to 0x7E) in cells of 12 x 24
// dots, 48 characters to a 576-dot line. The glyphs are drawn on a 5 x 9 grid (7 rows
// above the baseline, 2 below for descenders) and doubled, with one blank dot column each
// side and 4 blank rows above, 2 below.
inline constexpr int kGlyphCellWidth = 12;
inline constexpr int kGlyphCellHeight = 24;

// Row y (0 to 23) of the cell of `c`: bit 11 is the leftmost dot. 0 for a character
// without a glyph or a row outside the cell.
std::uint16_t GlyphRow(std::uint8_t c, int y) noexcept;

// Row y of the cell of a character from 0x80 up: with `pc437` (code page 437 selected) the
// box-drawing characters 0xB3 to 0xDA as lines that join their neighbours' across the cell
// edges; every other one as a hollow box, a character the font does not have. 0 below 0x80.
std::uint16_t CodePageGlyphRow(std::uint8_t c, int y, bool pc437) noexcept;

// Draws `c` with its cell's top-left corner at (left, top); dots outside the paper are
// dropped. A character without a glyph draws nothing.
void DrawGlyph(Paper& paper, std::uint8_t c, int left, int top) noexcept;

}  // namespace quillmark
