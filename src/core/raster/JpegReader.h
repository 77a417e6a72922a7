#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "raster/ByteSource.h"
#include "raster/PictureError.h"
#include "raster/PixelSource.h"

namespace quillmark {

// A JPEG picture decoded with libjpeg(-turbo) scanline by scanline, only the kept columns
// (jpeg_crop_scanline) and rows (jpeg_skip_scanlines before the first, nothing after the
// last). Grey, YCbCr, RGB, CMYK and YCCK, baseline, extended, progressive and arithmetic
// coded. CMYK with an Adobe marker is taken as inverted, as Adobe's programs write it;
// a colour is then red = (255 - C)(255 - K) / 255, rounded, and so on. Orientation
// metadata is ignored (the conversion can turn a picture).
//
// Memory: a few rows of MCUs. A progressive (or multi-scan) picture must be decoded whole
// before its first row: its coefficients take about 2 bytes a pixel and colour component
// (less with subsampled colour), and it is refused (kTooLarge) past kMaxDecodeMemory, that
// is beyond about 22 million pixels for a 4:2:0 colour picture. More than 500 scans are
// refused as malformed. A file that ends before the last row read is kTruncated.
class JpegPicture final : public PixelSource {
 public:
  // Reads the headers. `source` must outlive the picture.
  static std::optional<JpegPicture> Open(ByteSource& source, PictureError& error) noexcept;

  JpegPicture(JpegPicture&&) noexcept;
  JpegPicture& operator=(JpegPicture&&) noexcept;
  ~JpegPicture() override;

  std::int32_t Width() const noexcept override { return width_; }
  std::int32_t Height() const noexcept override { return height_; }
  PictureError PrepareWindow(std::int32_t top, std::int32_t rows,
                             std::int32_t columns) noexcept override;
  PictureError ReadRow(std::int32_t row, std::span<Colour> out) noexcept override;

 private:
  struct Decoder;  // the libjpeg state, its error and source managers

  JpegPicture() noexcept;

  std::unique_ptr<Decoder> decoder_;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  bool started_ = false;
  std::int32_t top_ = 0, rows_ = 0, columns_ = 0;  // the kept window
};

}  // namespace quillmark
