#pragma once

// BMP files for the tests, so that every picture goes through a real file and the reader.

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "raster/PictureError.h"
#include "raster/PixelSource.h"
#include "support/TempDir.h"

namespace quillmark::test {

using Bytes = std::vector<std::uint8_t>;

// The fields of a BMP file, written as given (wrong values included, to test refusals).
struct BmpFields {
  std::uint32_t headerSize = 40;
  std::int32_t width = 1;
  std::int32_t height = 1;  // negative: rows stored top-down
  std::uint16_t planes = 1;
  std::uint16_t bitCount = 24;
  std::uint32_t compression = 0;
  std::uint32_t clrUsed = 0;
  std::vector<Colour> palette;                   // 3-byte entries with a 12-byte header
  std::vector<std::uint32_t> masksAfterHeader;   // BITFIELDS masks behind a 40-byte header
  std::array<std::uint32_t, 4> masksInHeader{};  // offsets 40 to 55 of a 52-byte+ header
  std::optional<std::uint32_t> offBits;          // default: right behind palette and masks
  Bytes pixels;
};
BmpFields Fields(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                 std::uint32_t compression = 0, std::vector<Colour> palette = {},
                 std::uint32_t headerSize = 40);
Bytes BuildBmp(const BmpFields& fields);

// Uncompressed rows of value(c, r), a palette index or packed pixel of `bitCount` bits,
// padded to 4 bytes, bottom-up unless `topDown`; or an RLE8 or RLE4 stream of indices.
using PixelValue = std::function<std::uint32_t(std::int32_t c, std::int32_t r)>;
Bytes PackRows(std::int32_t width, std::int32_t height, int bitCount, bool topDown,
               const PixelValue& value);
Bytes EncodeRle(std::int32_t width, std::int32_t height, bool rle4, const PixelValue& index);

using testing::TempDir;

// Every pixel of a picture through the real reader, row 0 at the top; empty, with `error`
// set, when the file is refused. It serves them again as a picture that is no BMP.
struct Decoded final : PixelSource {
  std::int32_t width = 0, height = 0;
  std::vector<Colour> pixels;  // row-major
  Colour at(std::int32_t c, std::int32_t r) const {
    return pixels[static_cast<std::size_t>(r * width + c)];
  }
  std::int32_t Width() const noexcept override { return width; }
  std::int32_t Height() const noexcept override { return height; }
  PictureError ReadRow(std::int32_t r, std::span<Colour> out) noexcept override {
    std::copy_n(pixels.begin() + r * width, out.size(), out.begin());
    return PictureError::kNone;
  }
};
std::optional<Decoded> DecodeFile(const std::filesystem::path& path, PictureError* error = nullptr);

// Whether dot (c, r) of an NV image record is set.
bool DotAt(std::span<const std::uint8_t> record, std::int32_t c, std::int32_t r);

}  // namespace quillmark::test
