#pragma once

// Pictures written as real BMP files, and the check that a printed print-test sheet shows
// exactly their dark pixels under their labels.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/BmpTestFiles.h"
#include "support/Bytes.h"
#include "support/PngReader.h"
#include "virtualprinter/BitmapFont.h"

namespace quillmark::testing {

// A black-and-white picture: `dark(c, r)` for pixel (c, r), row 0 at the top.
struct TestPicture {
  int width = 0;
  int height = 0;
  std::function<bool(int, int)> dark;
};

// Writes `picture` as a 24-bit BMP file.
inline void WritePicture(const std::string& path, const TestPicture& picture) {
  test::BmpFields fields = test::Fields(picture.width, picture.height, 24);
  fields.pixels = test::PackRows(picture.width, picture.height, 24, false,
                                 [&picture](std::int32_t c, std::int32_t r) -> std::uint32_t {
                                   return picture.dark(c, r) ? 0x000000 : 0xFFFFFF;
                                 });
  WriteFileBytes(path, test::BuildBmp(fields));
}

// Pictures that tell the layout apart: stripes, a triangle wider than the print width, a
// checker board of a size that is no multiple of 8.
inline TestPicture Stripes() {
  return {40, 20, [](int c, int r) { return (c + r) % 3 == 0; }};
}
inline TestPicture WideTriangle() {
  return {700, 30, [](int c, int r) { return c < 20 * r || c % 97 == 5; }};
}
inline TestPicture Checker() {
  return {13, 9, [](int c, int r) { return (c / 2 + r / 3) % 2 == 0; }};
}

// Rows top to top + 23 of `sheet` (printed paper or a decoded sheet) hold `text` in the
// font and nothing else.
template <class Sheet>
void ExpectTextLine(const Sheet& sheet, int top, std::string_view text) {
  ASSERT_LE(top + kGlyphCellHeight, sheet.height());
  for (int y = 0; y < kGlyphCellHeight; ++y) {
    for (int x = 0; x < sheet.width(); ++x) {
      const auto i = static_cast<std::size_t>(x / kGlyphCellWidth);
      const auto row = GlyphRow(static_cast<std::uint8_t>(i < text.size() ? text[i] : ' '), y);
      ASSERT_EQ(sheet.Dot(x, top + y), ((row << (x % kGlyphCellWidth)) & 0x800) != 0)
          << "\"" << text << "\" at " << x << "," << y;
    }
  }
}

// Checks a print-test sheet of a printer `widthDots` across: for N = 1 to 10 the label
// "[ImageN]" (one text line, 24 dots), under it image N, then two empty lines. `pictures`
// holds the picture of each slot (none: the blank 8 x 8 image). Every dot is compared.
inline void ExpectPrintTestSheet(const test::DecodedPng& sheet,
                                 const std::vector<std::optional<TestPicture>>& pictures,
                                 int widthDots) {
  ASSERT_EQ(sheet.width(), widthDots);
  ASSERT_EQ(pictures.size(), 10u);
  int top = 0;
  for (int n = 1; n <= 10; ++n) {
    SCOPED_TRACE("image " + std::to_string(n));
    ExpectTextLine(sheet, top, "[Image" + std::to_string(n) + "]");
    top += kGlyphCellHeight;
    const std::optional<TestPicture>& picture = pictures[static_cast<std::size_t>(n - 1)];
    const int w = picture ? std::min(picture->width, widthDots) : 0;
    const int h = picture ? std::min(picture->height, 2304) : 0;
    const int rows = picture ? 8 * ((h + 7) / 8) : 8;
    ASSERT_LE(top + rows + 48, sheet.height());
    for (int r = 0; r < rows + 48; ++r)
      for (int c = 0; c < widthDots; ++c)
        ASSERT_EQ(sheet.Dot(c, top + r), c < w && r < h && picture->dark(c, r))
            << "image dot " << c << ", " << r;
    top += rows + 48;
  }
  EXPECT_EQ(sheet.height(), top);
}

}  // namespace quillmark::testing
