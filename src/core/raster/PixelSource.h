#pragma once

#include <cstdint>
#include <span>

#include "raster/PictureError.h"

namespace quillmark {

// A colour value 0x00BBGGRR: red in bits 0 to 7, green in 8 to 15, blue in 16 to 23.
// Bits 24 to 31 carry nothing and are ignored by every reader of a colour.
using Colour = std::uint32_t;

constexpr Colour MakeColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue) noexcept {
  return static_cast<Colour>(red) | (static_cast<Colour>(green) << 8) |
         (static_cast<Colour>(blue) << 16);
}

// 1 when the weighted brightness 30 R + 59 G + 11 B is below 12800 (0.30, 0.59, 0.11 and
// a threshold of 128 out of 255), else 0; exactly 12800 is light.
constexpr int IsDarkPixel(Colour colour) noexcept {
  const std::uint32_t red = colour & 0xFFu;
  const std::uint32_t green = (colour >> 8) & 0xFFu;
  const std::uint32_t blue = (colour >> 16) & 0xFFu;
  return 30 * red + 59 * green + 11 * blue < 12800 ? 1 : 0;
}

// A picture as the conversion sees it: its size and the colours of its pixels, row 0 at
// the top as displayed and column 0 at the left. The BMP, PNG and JPEG readers are the
// ones there are.
class PixelSource {
 public:
  virtual ~PixelSource() = default;
  // The picture's own size; the conversion refuses 0 or less.
  virtual std::int32_t Width() const noexcept = 0;
  virtual std::int32_t Height() const noexcept = 0;
  // Fills `out` with the colours of row `row`, columns 0 to out.size() - 1. The conversion
  // asks only for rows 0 to h - 1 of its crop, each once and in increasing order, with
  // out.size() the crop width w (never more than Width()). kNone on success; anything
  // else ends the conversion with that error.
  virtual PictureError ReadRow(std::int32_t row, std::span<Colour> out) noexcept = 0;

  // An optional shortcut for sources that can test darkness straight from their own
  // encoding (a palette's entries once, a 24-bit pixel's bytes) without building colour
  // values: when HasDarkRows() is true, the conversion calls MarkDarkRow instead of
  // ReadRow, under the same rules. MarkDarkRow ors IsDarkPixel(pixel) << shift into
  // bits[c] for columns c = 0 to bits.size() - 1 of `row`; it must give exactly what
  // ReadRow and IsDarkPixel would.
  virtual bool HasDarkRows() const noexcept { return false; }
  // An optional shortcut for the conversion options, under ReadRow's rules: when
  // HasGreyRows() is true, ReadGreyRow fills `out` with each pixel's 30 R + 59 G + 11 B.
  virtual bool HasGreyRows() const noexcept { return false; }
  virtual PictureError ReadGreyRow(std::int32_t /*row*/,
                                   std::span<std::uint16_t> /*out*/) noexcept {
    return PictureError::kDecodeFailed;
  }
  // Said at most once, before the first ReadRow: the conversion will read rows `top` to
  // top + rows - 1, columns 0 to columns - 1. Sources that must decode ahead of the rows
  // asked for (an interlaced PNG) keep just that part; the others may ignore it. Without
  // it, the first ReadRow's row and size stand for the window, down to the 2304th row.
  virtual PictureError PrepareWindow(std::int32_t /*top*/, std::int32_t /*rows*/,
                                     std::int32_t /*columns*/) noexcept {
    return PictureError::kNone;
  }
  virtual PictureError MarkDarkRow(std::int32_t /*row*/, std::span<std::uint8_t> /*bits*/,
                                   int /*shift*/) noexcept {
    return PictureError::kDecodeFailed;
  }
};

}  // namespace quillmark
