#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "format/NvFormat.h"
#include "raster/PictureError.h"
#include "raster/PixelSource.h"
#include "state/ByteBlock.h"

namespace quillmark {

// The part of a picture that becomes an NV image, and the image's size in units of 8 dots.
struct NvCrop {
  std::int32_t w = 0;  // columns kept, from the left
  std::int32_t h = 0;  // rows kept, from the top
  std::int32_t x = 0;  // w / 8 rounded up: 1 to 1023
  std::int32_t y = 0;  // h / 8 rounded up: 1 to 288
  std::uint32_t RecordSize() const noexcept { return NvRecordSize(x, y); }
};

// The crop of a width x height picture for a printer `widthBytes` wide: the top-left
// w x h pixels with w at most 8 * widthBytes (8184 when widthBytes is 0) and h at most
// 2304. A widthBytes outside 1 to 1023 would make an image the command cannot carry, so
// it counts as 0. Empty optional when width or height is 0 or less.
std::optional<NvCrop> NvCropFor(std::int32_t width, std::int32_t height,
                                std::int32_t widthBytes) noexcept;

// A conversion's outcome: the NV image record, or no record and the reason.
struct NvConversion {
  std::optional<ByteBlock> record;
  PictureError error = PictureError::kNone;
  int systemError = 0;  // kCannotOpen: why the system would not open the file
  // The picture's own size in pixels, before any turn, where a picture file was read
  // (ConvertPicture); 0 otherwise. Set beside the record, so a report can tell what a crop
  // left out.
  std::int32_t pictureWidth = 0;
  std::int32_t pictureHeight = 0;
};

// Builds the NV image record of `source` cropped for `widthBytes`: the header xL xH yL yH,
// then 8x columns of y bytes each, left to right, row 8g + k of column c in bit 7 - k of
// byte g, a bit set where IsDarkPixel rates the pixel dark. Everything beyond the crop is
// 0. The record is allocated once at its final size; rows are read one at a time, so
// besides the record only buffers of a few bytes per kept column are held. Sources that
// offer MarkDarkRow are read through it.
NvConversion ConvertPixels(PixelSource& source, std::int32_t widthBytes) noexcept;

// Reads the BMP file at `path` (see BmpPicture) and converts it as ConvertPixels does.
NvConversion ConvertPictureFile(const std::filesystem::path& path,
                                std::int32_t widthBytes) noexcept;

}  // namespace quillmark
