#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "format/NvFormat.h"
#include "raster/ByteSource.h"
#include "raster/DecodeLimits.h"
#include "raster/HeapArray.h"
#include "raster/PictureError.h"
#include "raster/PixelSource.h"

namespace quillmark {

// A PNG picture decoded with libspng row by row, in file order, keeping only the rows and
// columns the conversion reads. Every colour type and bit depth: palette, grey, grey with
// alpha, RGB, RGBA, 1 to 16 bits (16-bit samples keep their high byte), tRNS transparency;
// transparent parts are laid over white (OverWhite). Gamma, colour profiles and the other
// ancillary chunks are ignored.
//
// Memory: a few rows of the full width (at most kMaxDecodedWidth pixels), and compressed
// ancillary chunks limited to 4 MiB each, 16 MiB in all. An interlaced picture arrives in
// seven passes, so its kept part is decoded ahead and held, 3 bytes a pixel: at most
// kMaxDecodeMemory (a 8184 x 2304 window takes 57 MB, a 576-dot one 4 MB); more is refused
// with kTooLarge. Rows are read once, in increasing order; the rows before the first kept
// one are decoded and dropped, those after the last are never read.
class PngPicture final : public PixelSource {
 public:
  // Reads the chunks up to the first image data. `source` must outlive the picture.
  static std::optional<PngPicture> Open(ByteSource& source, PictureError& error) noexcept;

  PngPicture(PngPicture&&) noexcept;
  PngPicture& operator=(PngPicture&&) noexcept;
  ~PngPicture() override;

  std::int32_t Width() const noexcept override { return width_; }
  std::int32_t Height() const noexcept override { return height_; }
  bool Interlaced() const noexcept { return interlaced_; }
  PictureError PrepareWindow(std::int32_t top, std::int32_t rows,
                             std::int32_t columns) noexcept override;
  PictureError ReadRow(std::int32_t row, std::span<Colour> out) noexcept override;

 private:
  struct Decoder;  // the libspng context and the stream it reads

  PngPicture() noexcept;
  PictureError DecodeRow(std::uint32_t& rowNumber, unsigned& pass) noexcept;
  PictureError DecodeInterlaced() noexcept;

  std::unique_ptr<Decoder> decoder_;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  bool interlaced_ = false;
  bool windowSet_ = false;
  std::int32_t top_ = 0, rows_ = 0, columns_ = 0;  // the kept window
  std::int32_t nextRow_ = 0;                       // the next row libspng delivers
  bool ended_ = false;                             // libspng delivered the last row
  HeapArray<std::uint8_t> rgba_;                   // one decoded row, 4 bytes a pixel
  HeapArray<std::uint8_t> window_;                 // interlaced: the kept part, RGB
};

}  // namespace quillmark
