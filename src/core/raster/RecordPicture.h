#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "raster/MonoImage.h"

namespace quillmark {

// The one-bit picture an NV image record prints, rows top to bottom, `stride` bytes a
// row, the leftmost dot in bit 7: 8x dots across and 8y down.
struct RecordPicture {
  int width = 0;
  int height = 0;
  std::size_t stride = 0;
  std::vector<std::uint8_t> bits;

  MonoImageView View() const noexcept { return {width, height, stride, bits.data()}; }
};

// Empty when `record` is not a whole NV image record (header and raster of its size).
std::optional<RecordPicture> PictureOfRecord(std::span<const std::uint8_t> record);

}  // namespace quillmark
