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

namespace {

// Pixels are tested in fixed steps of this many, a loop shape that compilers turn into
// vector code at -O2; row buffers are padded to a whole step.
constexpr std::size_t kStep = 16;
// Bands of 8 rows gathered before they are stored: each column then receives 8 bytes in one
// go instead of 8 single bytes scattered 2 MB apart.
constexpr std::size_t kBandsPerBlock = 8;

// Ors bit `shift` of every pixel's dark test into `bits`.
void MarkDark(const Colour* __restrict colours, std::uint8_t* __restrict bits, std::size_t count,
              int shift) noexcept {
  for (std::size_t c0 = 0; c0 < count; c0 += kStep) {
    for (std::size_t j = 0; j < kStep; ++j) {
      // The weighted sum is at most 25500, so 16-bit lanes hold it: twice the pixels
      // per vector instruction. Same result as IsDarkPixel.
      const Colour v = colours[c0 + j];
      const auto red = static_cast<std::uint16_t>(v & 0xFFu);
      const auto green = static_cast<std::uint16_t>((v >> 8) & 0xFFu);
      const auto blue = static_cast<std::uint16_t>((v >> 16) & 0xFFu);
      const auto sum = static_cast<std::uint16_t>(30 * red + 59 * green + 11 * blue);
      bits[c0 + j] = static_cast<std::uint8_t>(bits[c0 + j] | ((sum < 12800 ? 1u : 0u) << shift));
    }
  }
}

}  // namespace

NvConversion ConvertPixels(PixelSource& source, std::int32_t widthBytes) noexcept {
  const auto crop = NvCropFor(source.Width(), source.Height(), widthBytes);
  if (!crop) return {std::nullopt, PictureError::kBadDimensions};

  const std::size_t w = static_cast<std::size_t>(crop->w);
  const std::size_t y = static_cast<std::size_t>(crop->y);
  const std::size_t padded = (w + kStep - 1) / kStep * kStep;
  auto record = ByteBlock::Allocate(crop->RecordSize());
  auto row = HeapArray<Colour>::Allocate(padded);
  auto band = HeapArray<std::uint8_t>::Allocate(padded);
  auto block = HeapArray<std::uint8_t>::Allocate(w * kBandsPerBlock);
  if (!record || !row || !band || !block) return {std::nullopt, PictureError::kOutOfMemory};

  std::uint8_t* out = record->data();
  WriteNvRecordHeader(out, crop->x, crop->y);

  // Eight rows make one byte of every column: a band's bits are gathered per column in
  // `band`, kBandsPerBlock bands per column in `block`, and each column's run of bytes is
  // then stored at its place in the column-major raster. Columns w to 8x - 1 and the rows
  // below h keep the zeros of the fresh record.
  const std::span<Colour> rowColours = row->span().first(w);
  const bool darkRows = source.HasDarkRows();
  for (std::size_t first = 0; first < y; first += kBandsPerBlock) {
    const std::size_t bands = std::min(kBandsPerBlock, y - first);
    for (std::size_t b = 0; b < bands; ++b) {
      std::memset(band->data(), 0, padded);
      const std::size_t group = first + b;
      const std::size_t rows =
          std::min<std::size_t>(8, static_cast<std::size_t>(crop->h) - 8 * group);
      for (std::size_t k = 0; k < rows; ++k) {
        const auto r = static_cast<std::int32_t>(8 * group + k);
        const int shift = static_cast<int>(7 - k);
        if (darkRows) {
          const PictureError e = source.MarkDarkRow(r, band->span().first(w), shift);
          if (e != PictureError::kNone) return {std::nullopt, e};
        } else {
          const PictureError e = source.ReadRow(r, rowColours);
          if (e != PictureError::kNone) return {std::nullopt, e};
          MarkDark(row->data(), band->data(), padded, shift);
        }
      }
      std::uint8_t* gathered = block->data() + b;
      for (std::size_t c = 0; c < w; ++c)
        gathered[c * kBandsPerBlock] = (*band)[c];
    }
    const std::uint8_t* gathered = block->data();
    std::uint8_t* column = out + kNvRecordHeaderSize + first;
    for (std::size_t c = 0; c < w; ++c)
      std::memcpy(column + c * y, gathered + c * kBandsPerBlock, bands);
  }
  return {std::move(record), PictureError::kNone};
}

NvConversion ConvertPictureFile(const std::filesystem::path& path,
                                std::int32_t widthBytes) noexcept {
  PictureError error = PictureError::kNone;
  int systemError = 0;
  auto file = FileByteSource::Open(path, error, &systemError);
  if (!file) return {std::nullopt, error, systemError};
  auto picture = BmpPicture::Open(*file, error);
  if (!picture) return {std::nullopt, error};
  return ConvertPixels(*picture, widthBytes);
}

}  // namespace quillmark
