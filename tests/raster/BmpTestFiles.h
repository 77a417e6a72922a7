#pragma once

// A small BMP writer for the tests: every picture a test converts goes through a real file
// and the real reader.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "raster/PixelSource.h"

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
  std::vector<Colour> palette;  // 3-byte entries with a 12-byte header, else 4-byte
  // Masks: right behind a 40-byte header when `masksAfterHeader` holds 3 or 4 of them,
  // inside the header (offsets 40 to 55) from 52 bytes on.
  std::vector<std::uint32_t> masksAfterHeader;
  std::array<std::uint32_t, 4> masksInHeader{};
  std::optional<std::uint32_t> offBits;  // default: right behind palette and masks
  Bytes pixels;                          // the stored pixel data, rows already padded
};

Bytes BuildBmp(const BmpFields& fields);

// Colour of pixel (c, r), row 0 at the top.
using ColourAt = std::function<Colour(std::int32_t c, std::int32_t r)>;

// Stored rows of an uncompressed picture: `value(c, r)` is the pixel's raw value (palette
// index or packed 16/24/32-bit pixel), written little-endian in `bitCount` bits; rows
// padded to 4 bytes, bottom-up unless `topDown`.
Bytes PackRows(std::int32_t width, std::int32_t height, int bitCount, bool topDown,
               const std::function<std::uint32_t(std::int32_t, std::int32_t)>& value);

// RLE8 / RLE4 streams of a picture of palette indices: each row as runs of equal
// indices (RLE4 runs alternate two indices), an end of line after each row and an end of
// bitmap at the end.
Bytes EncodeRle8(std::int32_t width, std::int32_t height,
                 const std::function<std::uint8_t(std::int32_t, std::int32_t)>& index);
Bytes EncodeRle4(std::int32_t width, std::int32_t height,
                 const std::function<std::uint8_t(std::int32_t, std::int32_t)>& index);

// A folder under the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path Write(const std::string& name, const Bytes& bytes) const;

 private:
  std::filesystem::path path_;
};

// The corpus folder, or an empty path when it is absent.
std::filesystem::path BmpSuiteDir();

// All colours of a picture's rows 0 to height - 1 through the real reader; empty when the
// file is refused.
struct Decoded {
  std::int32_t width = 0, height = 0;
  std::vector<Colour> pixels;  // row-major, row 0 at the top
  Colour at(std::int32_t c, std::int32_t r) const {
    return pixels[static_cast<std::size_t>(r) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(c)];
  }
};
std::optional<Decoded> DecodeFile(const std::filesystem::path& path, PictureError* error = nullptr);

}  // namespace quillmark::test
