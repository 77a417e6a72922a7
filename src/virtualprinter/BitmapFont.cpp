#include "virtualprinter/BitmapFont.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace quillmark {
namespace {

constexpr std::uint8_t kFirstChar = 0x20;
constexpr std::uint8_t kLastChar = 0x7E;
constexpr int kCharCount = kLastChar - kFirstChar + 1;
constexpr int kGridWidth = 5;
constexpr int kGridHeight = 9;
constexpr int kBandGlyphs = 12;
constexpr int kTopMargin = 4;  // cell rows above the doubled grid
constexpr int kLeftMargin = 1;

// The glyphs, drawn: bands of twelve characters in code order, nine grid rows a band, each
// glyph five dots wide ('#' black) and one blank between neighbours. Row 6 is the
// baseline row; rows 7 and 8 carry descenders.
constexpr std::string_view kBands[] = {
    // ' '   '!'   '"'   '#'   '$'   '%'   '&'   '''   '('   ')'   '*'   '+'
    "..... ..#.. .#.#. .#.#. ..#.. ##... .##.. ..#.. ...#. .#... ..... .....",
    "..... ..#.. .#.#. .#.#. .#### ##..# #..#. ..#.. ..#.. ..#.. ..#.. ..#..",
    "..... ..#.. .#.#. ##### #.#.. ...#. #.#.. .#... .#... ...#. #.#.# ..#..",
    "..... ..#.. ..... .#.#. .###. ..#.. .#... ..... .#... ...#. .###. #####",
    "..... ..#.. ..... ##### ..#.# .#... #.#.# ..... .#... ...#. #.#.# ..#..",
    "..... ..... ..... .#.#. ####. #..## #..#. ..... ..#.. ..#.. ..#.. ..#..",
    "..... ..#.. ..... .#.#. ..#.. ...## .##.# ..... ...#. .#... ..... .....",
    "..... ..... ..... ..... ..... ..... ..... ..... ..... ..... ..... .....",
    "..... ..... ..... ..... ..... ..... ..... ..... ..... ..... ..... .....",
    // ','   '-'   '.'   '/'   '0'   '1'   '2'   '3'   '4'   '5'   '6'   '7'
    "..... ..... ..... ..... .###. ..#.. .###. ##### ...#. ##### ..##. #####",
    "..... ..... ..... ....# #...# .##.. #...# ...#. ..##. #.... .#... ....#",
    "..... ..... ..... ...#. #..## ..#.. ....# ..#.. .#.#. ####. #.... ...#.",
    "..... ##### ..... ..#.. #.#.# ..#.. ...#. ...#. #..#. ....# ####. ..#..",
    "..... ..... ..... .#... ##..# ..#.. ..#.. ....# ##### ....# #...# .#...",
    "..##. ..... .##.. #.... #...# ..#.. .#... #...# ...#. #...# #...# .#...",
    "..##. ..... .##.. ..... .###. .###. ##### .###. ...#. .###. .###. .#...",
    "...#. ..... ..... ..... ..... ..... ..... ..... ..... ..... ..... .....",
    "..#.. ..... ..... ..... ..... ..... ..... ..... ..... ..... ..... .....",
    // '8'   '9'   ':'   ';'   '<'   '='   '>'   '?'   '@'   'A'   'B'   'C'
    ".###. .###. ..... ..... ...#. ..... .#... .###. .###. .###. ####. .###.",
    "#...# #...# .##.. .##.. ..#.. ..... ..#.. #...# #...# #...# #...# #...#",
    "#...# #...# .##.. .##.. .#... ##### ...#. ....# ....# #...# #...# #....",
    ".###. .#### ..... ..... #.... ..... ....# ...#. .##.# ##### ####. #....",
    "#...# ....# .##.. .##.. .#... ##### ...#. ..#.. #.#.# #...# #...# #....",
    "#...# ...#. .##.. .##.. ..#.. ..... ..#.. ..... #.#.# #...# #...# #...#",
    ".###. .##.. ..... ..#.. ...#. ..... .#... ..#.. .###. #...# ####. .###.",
    "..... ..... ..... .#... ..... ..... ..... ..... ..... ..... ..... .....",
    "..... ..... ..... ..... ..... ..... ..... ..... ..... ..... ..... .....",
    // 'D'   'E'   'F'   'G'   'H'   'I'   'J'   'K'   'L'   'M'   'N'   'O'
    "###.. ##### ##### .###. #...# .###. ..### #...# #.... #...# #...# .###.",
    "#..#. #.... #.... #...# #...# ..#.. ...#. #..#. #.... ##.## #...# #...#",
    "#...# #.... #.... #.... #...# ..#.. ...#. #.#.. #.... #.#.# ##..# #...#",
    "#...# ####. ####. #.### ##### ..#.. ...#. ##... #.... #.#.# #.#.# #...#",
    "#...# #.... #.... #...# #...# ..#.. ...#. #.#.. #.... #...# #..## #...#",
    "#..#. #.... #.... #...# #...# ..#.. #..#. #..#. #.... #...# #...# #...#",
    "###.. ##### #.... .#### #...# .###. .##.. #...# ##### #...# #...# .###.",
    "..... ..... ..... ..... ..... ..... ..... ..... ..... ..... ..... .....",
    "..... ..... ..... ..... ..... ..... ..... ..... ..... ..... ..... .....",
    // 'P'   'Q'   'R'   'S'   'T'   'U'   'V'   'W'   'X'   'Y'   'Z'   '['
    "####. .###. ####. .#### ##### #...# #...# #...# #...# #...# ##### .###.",
    "#...# #...# #...# #.... ..#.. #...# #...# #...# #...# #...# ....# .#...",
    "#...# #...# #...# #.... ..#.. #...# #...# #...# .#.#. .#.#. ...#. .#...",
    "####. #...# ####. .###. ..#.. #...# #...# #.#.# ..#.. ..#.. ..#.. .#...",
    "#.... #.#.# #.#.. ....# ..#.. #...# #...# #.#.# .#.#. ..#.. .#... .#...",
    "#.... #..#. #..#. ....# ..#.. #...# .#.#. #.#.# #...# ..#.. #.... .#...",
    "#.... .##.# #...# ####. ..#.. .###. ..#.. .#.#. #...# ..#.. ##### .#...",
    "..... ..... ..... ..... ..... ..... ..... ..... ..... ..... ..... .###.",
    "..... ..... ..... ..... ..... ..... ..... ..... ..... ..... ..... .....",
    // '\'   ']'   '^'   '_'   '`'   'a'   'b'   'c'   'd'   'e'   'f'   'g'
    "..... .###. ..#.. ..... .#... ..... #.... ..... ....# ..... ..##. .....",
    "#.... ...#. .#.#. ..... ..#.. ..... #.... ..... ....# ..... .#..# .....",
    ".#... ...#. #...# ..... ...#. .###. #.##. .###. .##.# .###. .#... .####",
    "..#.. ...#. ..... ..... ..... ....# ##..# #.... #..## #...# ###.. #...#",
    "...#. ...#. ..... ..... ..... .#### #...# #.... #...# ##### .#... #...#",
    "....# ...#. ..... ..... ..... #...# #...# #...# #...# #.... .#... .####",
    "..... ...#. ..... ..... ..... .#### ####. .###. .#### .###. .#... ....#",
    "..... .###. ..... ##### ..... ..... ..... ..... ..... ..... ..... #...#",
    "..... ..... ..... ..... ..... ..... ..... ..... ..... ..... ..... .###.",
    // 'h'   'i'   'j'   'k'   'l'   'm'   'n'   'o'   'p'   'q'   'r'   's'
    "#.... ..#.. ...#. #.... .##.. ..... ..... ..... ..... ..... ..... .....",
    "#.... ..... ..... #.... ..#.. ..... ..... ..... ..... ..... ..... .....",
    "#.##. .##.. ..##. #..#. ..#.. ##.#. #.##. .###. ####. .#### #.##. .####",
    "##..# ..#.. ...#. #.#.. ..#.. #.#.# ##..# #...# #...# #...# ##..# #....",
    "#...# ..#.. ...#. ##... ..#.. #.#.# #...# #...# #...# #...# #.... .###.",
    "#...# ..#.. ...#. #.#.. ..#.. #.#.# #...# #...# ####. .#### #.... ....#",
    "#...# .###. ...#. #..#. .###. #.#.# #...# .###. #.... ....# #.... ####.",
    "..... ..... #..#. ..... ..... ..... ..... ..... #.... ....# ..... .....",
    "..... ..... .##.. ..... ..... ..... ..... ..... #.... ....# ..... .....",
    // 't'   'u'   'v'   'w'   'x'   'y'   'z'   '{'   '|'   '}'   '~'
    ".#... ..... ..... ..... ..... ..... ..... ...## ..#.. ##... .....",
    ".#... ..... ..... ..... ..... ..... ..... ..#.. ..#.. ..#.. .....",
    "###.. #...# #...# #...# #...# #...# ##### ..#.. ..#.. ..#.. .#...",
    ".#... #...# #...# #...# .#.#. #...# ...#. .#... ..#.. ...#. #.#.#",
    ".#... #...# #...# #.#.# ..#.. #...# ..#.. ..#.. ..#.. ..#.. ...#.",
    ".#..# #..## .#.#. #.#.# .#.#. .#### .#... ..#.. ..#.. ..#.. .....",
    "..##. .##.# ..#.. .#.#. #...# ....# ##### ...## ..#.. ##... .....",
    "..... ..... ..... ..... ..... #...# ..... ..... ..#.. ..... .....",
    "..... ..... ..... ..... ..... .###. ..... ..... ..... ..... .....",
};

constexpr int kBandCount = static_cast<int>(std::size(kBands)) / kGridHeight;

constexpr bool BandsWellFormed() {
  if (static_cast<int>(std::size(kBands)) % kGridHeight != 0) return false;
  if ((kCharCount + kBandGlyphs - 1) / kBandGlyphs != kBandCount) return false;
  for (int band = 0; band < kBandCount; ++band) {
    const int glyphs =
        band + 1 < kBandCount ? kBandGlyphs : kCharCount - kBandGlyphs * (kBandCount - 1);
    const std::size_t length = static_cast<std::size_t>(glyphs * (kGridWidth + 1) - 1);
    for (int row = 0; row < kGridHeight; ++row) {
      const std::string_view line = kBands[band * kGridHeight + row];
      if (line.size() != length) return false;
      for (std::size_t i = 0; i < line.size(); ++i) {
        const bool gap = i % (kGridWidth + 1) == kGridWidth;
        if (gap ? line[i] != ' ' : (line[i] != '#' && line[i] != '.')) return false;
      }
    }
  }
  return true;
}
static_assert(BandsWellFormed(), "every glyph is 5 x 9 cells of '#' or '.', one blank apart");

using Cell = std::array<std::uint16_t, kGlyphCellHeight>;

// Doubles each grid dot into 2 x 2 cell dots.
constexpr std::array<Cell, kCharCount> MakeCells() {
  std::array<Cell, kCharCount> cells{};
  for (int index = 0; index < kCharCount; ++index) {
    const int band = index / kBandGlyphs;
    const std::size_t column = static_cast<std::size_t>((index % kBandGlyphs) * (kGridWidth + 1));
    for (int row = 0; row < kGridHeight; ++row) {
      const std::string_view line = kBands[band * kGridHeight + row];
      std::uint16_t bits = 0;
      for (int dot = 0; dot < kGridWidth; ++dot) {
        if (line[column + static_cast<std::size_t>(dot)] != '#') continue;
        const int x = kLeftMargin + 2 * dot;  // cell column of the left half
        bits = static_cast<std::uint16_t>(bits | (0x3U << (kGlyphCellWidth - 2 - x)));
      }
      const std::size_t y = static_cast<std::size_t>(kTopMargin + 2 * row);
      cells[static_cast<std::size_t>(index)][y] = bits;
      cells[static_cast<std::size_t>(index)][y + 1] = bits;
    }
  }
  return cells;
}

constexpr std::array<Cell, kCharCount> kCells = MakeCells();

}  // namespace

std::uint16_t GlyphRow(std::uint8_t c, int y) noexcept {
  if (c < kFirstChar || c > kLastChar || y < 0 || y >= kGlyphCellHeight) return 0;
  return kCells[static_cast<std::size_t>(c - kFirstChar)][static_cast<std::size_t>(y)];
}

namespace {

// The box-drawing characters 0xB3 to 0xDA of code page 437, each as the lines it draws
// from the cell's centre: left, right, up, down; 0 none, 1 single, 2 double.
struct BoxLines {
  std::uint8_t left, right, up, down;
};
constexpr std::array<BoxLines, 0xDA - 0xB3 + 1> kBoxLines = {{
    {0, 0, 1, 1}, {1, 0, 1, 1}, {2, 0, 1, 1}, {1, 0, 2, 2}, {1, 0, 0, 2}, {2, 0, 0, 1},  // B3-B8
    {2, 0, 2, 2}, {0, 0, 2, 2}, {2, 0, 0, 2}, {2, 0, 2, 0}, {1, 0, 2, 0}, {2, 0, 1, 0},  // B9-BE
    {1, 0, 0, 1}, {0, 1, 1, 0}, {1, 1, 1, 0}, {1, 1, 0, 1}, {0, 1, 1, 1}, {1, 1, 0, 0},  // BF-C4
    {1, 1, 1, 1}, {0, 2, 1, 1}, {0, 1, 2, 2}, {0, 2, 2, 0}, {0, 2, 0, 2}, {2, 2, 2, 0},  // C5-CA
    {2, 2, 0, 2}, {0, 2, 2, 2}, {2, 2, 0, 0}, {2, 2, 2, 2}, {2, 2, 1, 0}, {1, 1, 2, 0},  // CB-D0
    {2, 2, 0, 1}, {1, 1, 0, 2}, {0, 1, 2, 0}, {0, 2, 1, 0}, {0, 2, 0, 1}, {0, 1, 0, 2},  // D1-D6
    {1, 1, 2, 2}, {2, 2, 1, 1}, {1, 0, 1, 0}, {0, 1, 0, 1},                              // D7-DA
}};

// A line is two dots thick, as the font's strokes are; a double line is two of them with
// two dots between. Cell columns counted from the left, rows from the top.
bool OnLine(int weight, int at, int centre) {
  if (weight == 1) return at == centre || at == centre + 1;
  if (weight == 2)
    return at == centre - 2 || at == centre - 1 || at == centre + 2 || at == centre + 3;
  return false;
}

}  // namespace

std::uint16_t CodePageGlyphRow(std::uint8_t c, int y, bool pc437) noexcept {
  if (c < 0x80 || y < 0 || y >= kGlyphCellHeight) return 0;
  constexpr int kCentreX = 5, kCentreY = 11;
  if (pc437 && c >= 0xB3 && c <= 0xDA) {
    const BoxLines lines = kBoxLines[static_cast<std::size_t>(c - 0xB3)];
    // Each arm reaches across the lines it meets, as far as the outer one.
    const int across = std::max(lines.up, lines.down) == 2 ? 2 : 0;
    const int along = std::max(lines.left, lines.right) == 2 ? 2 : 0;
    std::uint16_t bits = 0;
    for (int x = 0; x < kGlyphCellWidth; ++x) {
      const bool horizontal = (x <= kCentreX + 1 + across && OnLine(lines.left, y, kCentreY)) ||
                              (x >= kCentreX - across && OnLine(lines.right, y, kCentreY));
      const bool vertical = (y <= kCentreY + 1 + along && OnLine(lines.up, x, kCentreX)) ||
                            (y >= kCentreY - along && OnLine(lines.down, x, kCentreX));
      if (horizontal || vertical) bits = static_cast<std::uint16_t>(bits | 0x800U >> x);
    }
    return bits;
  }
  // Any other character: a hollow box where the glyph would be.
  if (y < 4 || y > 19) return 0;
  return y == 4 || y == 19 ? 0x3FC : 0x204;
}

void DrawGlyph(Paper& paper, std::uint8_t c, int left, int top) noexcept {
  for (int y = 0; y < kGlyphCellHeight; ++y) {
    const std::uint16_t bits = GlyphRow(c, y);
    if (bits == 0) continue;
    for (int x = 0; x < kGlyphCellWidth; ++x) {
      if ((bits & (1U << (kGlyphCellWidth - 1 - x))) != 0) paper.SetDot(left + x, top + y);
    }
  }
}

}  // namespace quillmark
