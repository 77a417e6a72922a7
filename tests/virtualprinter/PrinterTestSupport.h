#pragma once

// Byte-stream building blocks and independent reference checks for the printer tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <random>
#include <string_view>
#include <vector>

#include "virtualprinter/BitmapFont.h"
#include "virtualprinter/VirtualPrinter.h"

namespace quillmark::test {

using Bytes = std::vector<std::uint8_t>;

// An NV image record of x by y units with random dots.
inline Bytes Record(int x, int y, unsigned seed) {
  Bytes r = {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x >> 8),
             static_cast<std::uint8_t>(y), static_cast<std::uint8_t>(y >> 8)};
  std::mt19937 random(seed);
  for (int i = 0; i < 8 * x * y; ++i)
    r.push_back(static_cast<std::uint8_t>(random()));
  return r;
}

// Dot (column, row) of a record, read straight from its bytes.
inline bool RecordDot(const Bytes& record, int column, int row) {
  const int y = record[2] | record[3] << 8;
  const std::uint8_t byte = record[4 + static_cast<std::size_t>(column * y + row / 8)];
  return ((byte >> (7 - row % 8)) & 1) != 0;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts)
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

inline Bytes Text(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

inline Bytes Of(const std::optional<ByteBlock>& block) {
  return Bytes(block->bytes().begin(), block->bytes().end());
}

inline Bytes Define(const std::vector<Bytes>& records, bool esc = false) {
  Bytes out = esc ? Bytes{0x1B, 0x1C, 'q'} : Bytes{0x1C, 'q'};
  out.push_back(static_cast<std::uint8_t>(records.size()));
  for (const Bytes& r : records)
    out.insert(out.end(), r.begin(), r.end());
  return out;
}

inline Bytes Print(int n, int m, bool esc = false) {
  Bytes out = esc ? Bytes{0x1B, 0x1C, 'p'} : Bytes{0x1C, 'p'};
  out.push_back(static_cast<std::uint8_t>(n));
  out.push_back(static_cast<std::uint8_t>(m));
  return out;
}

inline VirtualPrinterConfig Config(std::uint32_t capacity, int width = 576) {
  VirtualPrinterConfig config;
  config.nvCapacity = capacity;
  config.widthDots = width;
  return config;
}

inline std::vector<PrinterEventKind> Kinds(const VirtualPrinter& printer) {
  std::vector<PrinterEventKind> kinds;
  for (const PrinterEvent& e : printer.events())
    kinds.push_back(e.kind);
  return kinds;
}

// Checks that rows top to top + 23 of `paper` hold `text` in the font and nothing else.
inline void ExpectTextLine(const Paper& paper, int top, std::string_view text) {
  ASSERT_LE(top + kGlyphCellHeight, paper.height());
  for (int y = 0; y < kGlyphCellHeight; ++y) {
    for (int x = 0; x < paper.width(); ++x) {
      const std::size_t i = static_cast<std::size_t>(x / kGlyphCellWidth);
      const bool expected = i < text.size() && ((GlyphRow(static_cast<std::uint8_t>(text[i]), y) >>
                                                 (kGlyphCellWidth - 1 - x % kGlyphCellWidth)) &
                                                1U) != 0;
      ASSERT_EQ(paper.Dot(x, top + y), expected) << "\"" << text << "\" at " << x << "," << y;
    }
  }
}

inline void ExpectSamePaper(const Paper& actual, const Paper& expected) {
  ASSERT_EQ(actual.width(), expected.width());
  ASSERT_EQ(actual.height(), expected.height());
  for (int y = 0; y < actual.height(); ++y) {
    const auto a = actual.Row(y);
    const auto e = expected.Row(y);
    ASSERT_TRUE(std::equal(a.begin(), a.end(), e.begin(), e.end())) << "row " << y;
  }
}

// Checks that rows from `top` hold `record` printed at the left margin scaled by sx, sy
// and cut at the paper's width.
inline void ExpectImage(const Paper& paper, int top, const Bytes& record, int sx = 1, int sy = 1) {
  const int width = 8 * (record[0] | record[1] << 8);
  const int height = 8 * (record[2] | record[3] << 8);
  ASSERT_LE(top + height * sy, paper.height());
  for (int y = 0; y < height * sy; ++y) {
    for (int x = 0; x < paper.width(); ++x) {
      const bool expected = x < width * sx && RecordDot(record, x / sx, y / sy);
      ASSERT_EQ(paper.Dot(x, top + y), expected) << x << "," << y;
    }
  }
}

}  // namespace quillmark::test
