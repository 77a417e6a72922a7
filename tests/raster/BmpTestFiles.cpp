#include "BmpTestFiles.h"

#include <fstream>
#include <random>
#include <system_error>

#include "raster/BmpReader.h"
#include "raster/ByteSource.h"

namespace quillmark::test {
namespace {

void Put(Bytes& out, std::size_t at, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

BmpFields Fields(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                 std::uint32_t compression, std::vector<Colour> palette, std::uint32_t headerSize) {
  BmpFields f;
  f.headerSize = headerSize;
  f.width = width;
  f.height = height;
  f.bitCount = bitCount;
  f.compression = compression;
  f.palette = std::move(palette);
  return f;
}

Bytes BuildBmp(const BmpFields& f) {
  Bytes out(14 + f.headerSize, 0);
  out[0] = 'B';
  out[1] = 'M';
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
  for (std::uint32_t mask : f.masksAfterHeader) {
    out.resize(out.size() + 4);
    Put(out, out.size() - 4, mask, 4);
  }
  for (Colour c : f.palette) {
    out.insert(out.end(), {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
                           static_cast<std::uint8_t>(c)});
    if (f.headerSize != 12) out.push_back(0);
  }
  const std::uint32_t offBits = f.offBits.value_or(static_cast<std::uint32_t>(out.size()));
  if (out.size() < offBits) out.resize(offBits, 0);  // a gap before the pixels
  Put(out, 10, offBits, 4);
  out.insert(out.end(), f.pixels.begin(), f.pixels.end());
  Put(out, 2, static_cast<std::uint32_t>(out.size()), 4);
  return out;
}

Bytes PackRows(std::int32_t width, std::int32_t height, int bitCount, bool topDown,
               const PixelValue& value) {
  const std::size_t stride =
      (static_cast<std::size_t>(width) * static_cast<std::size_t>(bitCount) + 31) / 32 * 4;
  Bytes out(stride * static_cast<std::size_t>(height), 0);
  for (std::int32_t r = 0; r < height; ++r) {
    std::uint8_t* row =
        out.data() + static_cast<std::size_t>(topDown ? r : height - 1 - r) * stride;
    for (std::int32_t c = 0; c < width; ++c) {
      const std::uint32_t v = value(c, r);
      const std::size_t bit = static_cast<std::size_t>(c) * static_cast<std::size_t>(bitCount);
      if (bitCount < 8) {
        row[bit / 8] = static_cast<std::uint8_t>(row[bit / 8] | (v << (8 - bitCount - bit % 8)));
      } else {
        for (int b = 0; b < bitCount / 8; ++b)
          row[bit / 8 + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(v >> (8 * b));
      }
    }
  }
  return out;
}

Bytes EncodeRle(std::int32_t width, std::int32_t height, bool rle4, const PixelValue& index) {
  Bytes out;
  for (std::int32_t r = height - 1; r >= 0; --r) {
    for (std::int32_t c = 0; c < width;) {
      const std::uint32_t v = index(c, r);
      std::int32_t run = 1;
      while (c + run < width && run < 255 && index(c + run, r) == v)
        ++run;
      out.push_back(static_cast<std::uint8_t>(run));
      out.push_back(static_cast<std::uint8_t>(rle4 ? (v << 4) | v : v));
      c += run;
    }
    out.insert(out.end(), {0, 0});
  }
  out.insert(out.end(), {0, 1});
  return out;
}

TempDir::TempDir() {
  std::random_device seed;
  path_ = std::filesystem::temp_directory_path() /
          ("quillmark-raster-" + std::to_string(seed()) + "-" + std::to_string(seed()));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempDir::Write(const std::string& name, const Bytes& bytes) const {
  const auto file = path_ / name;
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return file;
}

std::filesystem::path BmpSuiteDir() {
  const std::filesystem::path dir = std::filesystem::path(QUILLMARK_TESTDATA_DIR) / "bmpsuite";
  std::error_code ec;
  return std::filesystem::is_directory(dir / "g", ec) ? dir : std::filesystem::path();
}

std::optional<Decoded> DecodeFile(const std::filesystem::path& path, PictureError* error) {
  PictureError ignored = PictureError::kNone;
  PictureError& e = error != nullptr ? *error : ignored;
  auto file = FileByteSource::Open(path, e);
  if (!file) return std::nullopt;
  auto picture = BmpPicture::Open(*file, e);
  if (!picture) return std::nullopt;
  Decoded d{picture->Width(), picture->Height(), {}};
  const auto w = static_cast<std::size_t>(d.width);
  d.pixels.resize(w * static_cast<std::size_t>(d.height));
  for (std::int32_t r = 0; r < d.height; ++r) {
    e = picture->ReadRow(r, std::span(d.pixels).subspan(static_cast<std::size_t>(r) * w, w));
    if (e != PictureError::kNone) return std::nullopt;
  }
  return d;
}

bool DotAt(std::span<const std::uint8_t> record, std::int32_t c, std::int32_t r) {
  const std::size_t y = record[2] + 256u * record[3];
  return (record[4 + static_cast<std::size_t>(c) * y + static_cast<std::size_t>(r / 8)] >>
          (7 - r % 8)) &
         1;
}

}  // namespace quillmark::test
