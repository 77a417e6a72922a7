#include "BmpTestFiles.h"

#include <fstream>

#include "raster/BmpReader.h"
#include "raster/ByteSource.h"

namespace quillmark::test {
namespace {

// Writes the low `bytes` bytes of v at `at`, little-endian, growing `out` as needed.
void Put(Bytes& out, std::size_t at, std::uint32_t v, std::size_t bytes) {
  if (out.size() < at + bytes) out.resize(at + bytes);
  for (std::size_t i = 0; i < bytes; ++i)
    out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

BmpFields Fields(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                 std::uint32_t compression, std::vector<Colour> palette, std::uint32_t headerSize) {
  return {headerSize,         width, height, 1,  bitCount, compression, 0,
          std::move(palette), {},    {},     {}, {}};
}

Bytes BuildBmp(const BmpFields& f) {
  Bytes out(14 + f.headerSize, 0);
  Put(out, 0, 'B' | 'M' << 8, 2);
  Put(out, 14, f.headerSize, 4);
  const int size = f.headerSize == 12 ? 2 : 4;  // OS/2 1.x has 16-bit width and height
  Put(out, 18, static_cast<std::uint32_t>(f.width), size);
  Put(out, 18 + size, static_cast<std::uint32_t>(f.height), size);
  Put(out, 18 + 2 * size, f.planes, 2);
  Put(out, 20 + 2 * size, f.bitCount, 2);
  if (f.headerSize >= 40) {
    Put(out, 30, f.compression, 4);
    Put(out, 34, static_cast<std::uint32_t>(f.pixels.size()), 4);
    Put(out, 46, f.clrUsed, 4);
  }
  if (f.headerSize >= 52 && f.headerSize != 64)  // the OS/2 2.x header has no masks
    for (std::size_t i = 0; i < 4 && 44 + 4 * i <= f.headerSize; ++i)
      Put(out, 54 + 4 * i, f.masksInHeader[i], 4);
  for (std::uint32_t mask : f.masksAfterHeader)
    Put(out, out.size(), mask, 4);
  for (Colour c : f.palette)  // blue, green, red and, but for OS/2 1.x, a 0
    Put(out, out.size(), (c >> 16 & 0xFF) | (c & 0xFF00) | (c & 0xFF) << 16,
        f.headerSize == 12 ? 3 : 4);
  const std::uint32_t offBits = f.offBits.value_or(static_cast<std::uint32_t>(out.size()));
  if (out.size() < offBits) out.resize(offBits, 0);  // a gap before the pixels
  Put(out, 10, offBits, 4);
  out.insert(out.end(), f.pixels.begin(), f.pixels.end());
  Put(out, 2, static_cast<std::uint32_t>(out.size()), 4);
  return out;
}

Bytes PackRows(std::int32_t width, std::int32_t height, int bitCount, bool topDown,
               const PixelValue& value) {
  const auto w = static_cast<std::size_t>(width), bits = static_cast<std::size_t>(bitCount);
  const std::size_t stride = (w * bits + 31) / 32 * 4;
  Bytes out(stride * static_cast<std::size_t>(height), 0);
  for (std::int32_t r = 0; r < height; ++r) {
    const std::size_t row = static_cast<std::size_t>(topDown ? r : height - 1 - r) * stride * 8;
    for (std::size_t c = 0; c < w; ++c)  // below 8 bits the top bit first, else bytes low first
      for (std::uint32_t v = value(static_cast<std::int32_t>(c), r), b = 0; b < bits; ++b)
        if ((v >> b) & 1) {
          const std::size_t at = row + c * bits + (bits < 8 ? bits - 1 - b : b / 8 * 8 + 7 - b % 8);
          out[at / 8] = static_cast<std::uint8_t>(out[at / 8] | 0x80 >> (at % 8));
        }
  }
  return out;
}

Bytes EncodeRle(std::int32_t width, std::int32_t height, bool rle4, const PixelValue& index) {
  Bytes out;  // RLE8: one run a pixel; RLE4: one run a pair of pixels, its two nibbles
  for (std::int32_t r = height - 1; r >= 0; --r) {
    for (std::int32_t c = 0; c < width; c += rle4 ? 2 : 1) {
      const int count = rle4 && c + 1 < width ? 2 : 1;
      const std::uint32_t v =
          rle4 ? index(c, r) << 4 | (count == 2 ? index(c + 1, r) : 0) : index(c, r);
      out.insert(out.end(), {static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(v)});
    }
    out.insert(out.end(), {0, 0});
  }
  out.insert(out.end(), {0, 1});
  return out;
}

std::optional<Decoded> DecodeFile(const std::filesystem::path& path, PictureError* error) {
  PictureError e = PictureError::kNone;
  auto file = FileByteSource::Open(path, e);
  auto picture = file ? BmpPicture::Open(*file, e) : std::nullopt;
  Decoded d;
  d.width = picture ? picture->Width() : 0;
  d.height = picture ? picture->Height() : 0;
  const auto w = static_cast<std::size_t>(d.width);
  d.pixels.resize(w * static_cast<std::size_t>(d.height));
  for (std::int32_t r = 0; r < d.height && e == PictureError::kNone; ++r)
    e = picture->ReadRow(r, std::span(d.pixels).subspan(static_cast<std::size_t>(r) * w, w));
  if (error != nullptr) *error = e;
  return e == PictureError::kNone ? std::optional(std::move(d)) : std::nullopt;
}

bool DotAt(std::span<const std::uint8_t> record, std::int32_t c, std::int32_t r) {
  const std::size_t y = record[2] + 256u * record[3], at = static_cast<std::size_t>(c) * y;
  return (record[4 + at + static_cast<std::size_t>(r / 8)] << (r % 8)) & 0x80;
}

}  // namespace quillmark::test
