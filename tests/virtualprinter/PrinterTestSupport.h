#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <random>
#include <string_view>
#include <vector>

#include "support/BmpTestFiles.h"
#include "support/Bytes.h"
#include "support/PrintTestSheet.h"
#include "virtualprinter/BitmapFont.h"
#include "virtualprinter/VirtualPrinter.h"

namespace quillmark::test {

using testing::BytesOf;
using testing::Concat;
using testing::ExpectTextLine;

// An NV image record of x by y units with random dots.
inline Bytes Record(int x, int y, unsigned seed) {
  Bytes r = {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x >> 8),
             static_cast<std::uint8_t>(y), static_cast<std::uint8_t>(y >> 8)};
  std::mt19937 random(seed);
  for (int i = 0; i < 8 * x * y; ++i)
    r.push_back(static_cast<std::uint8_t>(random()));
  return r;
}

inline Bytes Text(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

// FS q with `records`, or FS p n m; ESC-prefixed with `esc`.
inline Bytes Define(const std::vector<Bytes>& records, bool esc = false) {
  Bytes out = esc ? Bytes{0x1B, 0x1C, 'q'} : Bytes{0x1C, 'q'};
  out.push_back(static_cast<std::uint8_t>(records.size()));
  for (const Bytes& r : records)
    out.insert(out.end(), r.begin(), r.end());
  return out;
}
inline Bytes Print(int n, int m, bool esc = false) {
  const Bytes command = {0x1C, 'p', static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(m)};
  return esc ? Concat({{0x1B}, command}) : command;
}

inline VirtualPrinterConfig Config(std::uint32_t capacity, int width = 576) {
  return {capacity, width, kDefaultPaperRows};
}

inline int Count(const VirtualPrinter& printer, PrinterEventKind kind) {
  return static_cast<int>(std::count_if(printer.events().begin(), printer.events().end(),
                                        [kind](const PrinterEvent& e) { return e.kind == kind; }));
}

// Rows from `top` hold `record` at the left margin, scaled by sx, sy and cut at the width.
inline void ExpectImage(const Paper& paper, int top, const Bytes& record, int sx = 1, int sy = 1) {
  const int width = 8 * (record[0] | record[1] << 8), height = 8 * (record[2] | record[3] << 8);
  ASSERT_LE(top + height * sy, paper.height());
  for (int y = 0; y < height * sy; ++y)
    for (int x = 0; x < paper.width(); ++x)
      ASSERT_EQ(paper.Dot(x, top + y), x < width * sx && DotAt(record, x / sx, y / sy))
          << x << "," << y;
}

}  // namespace quillmark::test
