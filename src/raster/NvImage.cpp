#include "raster/NvImage.h"

#include <algorithm>
#include <cstring>

#include "raster/BmpReader.h"
#include "raster/ByteSource.h"
#include "raster/HeapArray.h"

namespace quillmark {

std::optional<NvCrop> NvCropFor(std::int32_t width, std::int32_t height,
                                std::int32_t widthBytes) noexcept {
  if (width <= 0 || height <= 0) return std::nullopt;
  const std::int32_t widthLimit =
      widthBytes >= 1 && widthBytes <= kNvMaxWidthDots / 8 ? widthBytes * 8 : kNvMaxWidthDots;
  NvCrop crop;
  crop.w = std::min(width, widthLimit);
  crop.h = std::min(height, kNvMaxRows);
  crop.x = (crop.w + 7) / 8;
  crop.y = (crop.h + 7) / 8;
  return crop;
}

NvConversion ConvertPixels(PixelSource& source, std::int32_t widthBytes) noexcept {
  const auto crop = NvCropFor(source.Width(), source.Height(), widthBytes);
  if (!crop) return {std::nullopt, PictureError::kBadDimensions};

  auto record = ByteBlock::Allocate(crop->RecordSize());
  auto row = HeapArray<Colour>::Allocate(static_cast<std::size_t>(crop->w));
  auto band = HeapArray<std::uint8_t>::Allocate(static_cast<std::size_t>(crop->w));
  if (!record || !row || !band) return {std::nullopt, PictureError::kOutOfMemory};

  std::uint8_t* out = record->data();
  out[0] = static_cast<std::uint8_t>(crop->x % 256);
  out[1] = static_cast<std::uint8_t>(crop->x / 256);
  out[2] = static_cast<std::uint8_t>(crop->y % 256);
  out[3] = static_cast<std::uint8_t>(crop->y / 256);

  // Eight rows make one byte of every column: gather a band's bits per column in `band`,
  // then store each column's byte at its place in the column-major raster.
  const std::size_t w = static_cast<std::size_t>(crop->w);
  const std::size_t y = static_cast<std::size_t>(crop->y);
  std::uint8_t* bits = band->data();
  const Colour* colours = row->data();
  for (std::int32_t group = 0; group < crop->y; ++group) {
    std::memset(bits, 0, w);
    const std::int32_t rows = std::min(8, crop->h - 8 * group);
    for (std::int32_t k = 0; k < rows; ++k) {
      const PictureError e = source.ReadRow(8 * group + k, row->span());
      if (e != PictureError::kNone) return {std::nullopt, e};
      const int shift = 7 - k;
      for (std::size_t c = 0; c < w; ++c)
        bits[c] = static_cast<std::uint8_t>(bits[c] | (IsDarkPixel(colours[c]) << shift));
    }
    std::uint8_t* column = out + 4 + static_cast<std::size_t>(group);
    for (std::size_t c = 0; c < w; ++c) column[c * y] = bits[c];
  }
  return {std::move(record), PictureError::kNone};
}

NvConversion ConvertPictureFile(const std::filesystem::path& path,
                                std::int32_t widthBytes) noexcept {
  PictureError error = PictureError::kNone;
  auto file = FileByteSource::Open(path, error);
  if (!file) return {std::nullopt, error};
  auto picture = BmpPicture::Open(*file, error);
  if (!picture) return {std::nullopt, error};
  return ConvertPixels(*picture, widthBytes);
}

}  // namespace quillmark
