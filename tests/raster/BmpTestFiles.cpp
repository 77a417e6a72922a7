#include "BmpTestFiles.h"

#include <fstream>
#include <random>
#include <system_error>

#include "raster/BmpReader.h"
#include "raster/ByteSource.h"

namespace quillmark::test {
namespace {

void Put16(Bytes& out, std::size_t at, std::uint32_t v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

Bytes BuildBmp(const BmpFields& f) {
  Bytes out(14 + f.headerSize, 0);
  out[0] = 'B';
  out[1] = 'M';
  Put32(out, 14, f.headerSize);
  if (f.headerSize == 12) {
    Put16(out, 18, static_cast<std::uint32_t>(f.width));
    Put16(out, 20, static_cast<std::uint32_t>(f.height));
    Put16(out, 22, f.planes);
    Put16(out, 24, f.bitCount);
  } else {
    Put32(out, 18, static_cast<std::uint32_t>(f.width));
    Put32(out, 22, static_cast<std::uint32_t>(f.height));
    Put16(out, 26, f.planes);
    Put16(out, 28, f.bitCount);
    if (f.headerSize >= 20) Put32(out, 30, f.compression);
    if (f.headerSize >= 24) Put32(out, 34, static_cast<std::uint32_t>(f.pixels.size()));
    if (f.headerSize >= 36) Put32(out, 46, f.clrUsed);
    // Windows headers from 52 bytes on carry the masks; the 64-byte OS/2 header does not.
    if (f.headerSize >= 52 && f.headerSize != 64)
      for (std::size_t i = 0; i < 4; ++i)
        if (40 + 4 * i + 4 <= f.headerSize) Put32(out, 14 + 40 + 4 * i, f.masksInHeader[i]);
  }
  for (std::uint32_t mask : f.masksAfterHeader) {
    out.resize(out.size() + 4);
    Put32(out, out.size() - 4, mask);
  }
  for (Colour c : f.palette) {
    out.push_back(static_cast<std::uint8_t>(c >> 16));  // blue
    out.push_back(static_cast<std::uint8_t>(c >> 8));   // green
    out.push_back(static_cast<std::uint8_t>(c));        // red
    if (f.headerSize != 12) out.push_back(0);
  }
  const std::uint32_t offBits = f.offBits.value_or(static_cast<std::uint32_t>(out.size()));
  if (out.size() < offBits) out.resize(offBits, 0);  // a gap before the pixels
  Put32(out, 10, offBits);
  out.insert(out.end(), f.pixels.begin(), f.pixels.end());
  Put32(out, 2, static_cast<std::uint32_t>(out.size()));
  return out;
}

Bytes PackRows(std::int32_t width, std::int32_t height, int bitCount, bool topDown,
               const std::function<std::uint32_t(std::int32_t, std::int32_t)>& value) {
  const std::size_t stride =
      (static_cast<std::size_t>(width) * static_cast<std::size_t>(bitCount) + 31) / 32 * 4;
  Bytes out(stride * static_cast<std::size_t>(height), 0);
  for (std::int32_t r = 0; r < height; ++r) {
    const std::int32_t stored = topDown ? r : height - 1 - r;
    std::uint8_t* row = out.data() + static_cast<std::size_t>(stored) * stride;
    for (std::int32_t c = 0; c < width; ++c) {
      const std::uint32_t v = value(c, r);
      const std::size_t bit = static_cast<std::size_t>(c) * static_cast<std::size_t>(bitCount);
      if (bitCount < 8) {
        const int shift = 8 - bitCount - static_cast<int>(bit % 8);
        row[bit / 8] = static_cast<std::uint8_t>(row[bit / 8] | (v << shift));
      } else {
        for (int b = 0; b < bitCount / 8; ++b)
          row[bit / 8 + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(v >> (8 * b));
      }
    }
  }
  return out;
}

namespace {

// Rows bottom-up; each row as encoded runs of equal values, with stretches of differing
// values of three or more written as literals, so both kinds of operation are exercised.
Bytes EncodeRle(std::int32_t width, std::int32_t height, bool rle4,
                const std::function<std::uint8_t(std::int32_t, std::int32_t)>& index) {
  Bytes out;
  for (std::int32_t r = height - 1; r >= 0; --r) {
    std::int32_t c = 0;
    while (c < width) {
      std::int32_t run = 1;
      while (c + run < width && run < 255 && index(c + run, r) == index(c, r))
        ++run;
      if (run >= 2) {
        const std::uint8_t v = index(c, r);
        out.push_back(static_cast<std::uint8_t>(run));
        out.push_back(rle4 ? static_cast<std::uint8_t>((v << 4) | v) : v);
        c += run;
        continue;
      }
      std::int32_t literal = 1;
      while (c + literal < width && literal < 254 &&
             (c + literal + 1 >= width || index(c + literal, r) != index(c + literal + 1, r)))
        ++literal;
      if (literal < 3) {
        out.push_back(1);
        const std::uint8_t v = index(c, r);
        out.push_back(rle4 ? static_cast<std::uint8_t>(v << 4) : v);
        ++c;
        continue;
      }
      out.push_back(0);
      out.push_back(static_cast<std::uint8_t>(literal));
      Bytes data;
      for (std::int32_t i = 0; i < literal; ++i) {
        const std::uint8_t v = index(c + i, r);
        if (!rle4) {
          data.push_back(v);
        } else if (i % 2 == 0) {
          data.push_back(static_cast<std::uint8_t>(v << 4));
        } else {
          data.back() = static_cast<std::uint8_t>(data.back() | v);
        }
      }
      if (data.size() % 2) data.push_back(0);
      out.insert(out.end(), data.begin(), data.end());
      c += literal;
    }
    out.push_back(0);
    out.push_back(0);
  }
  out.push_back(0);
  out.push_back(1);
  return out;
}

}  // namespace

Bytes EncodeRle8(std::int32_t width, std::int32_t height,
                 const std::function<std::uint8_t(std::int32_t, std::int32_t)>& index) {
  return EncodeRle(width, height, false, index);
}

Bytes EncodeRle4(std::int32_t width, std::int32_t height,
                 const std::function<std::uint8_t(std::int32_t, std::int32_t)>& index) {
  return EncodeRle(width, height, true, index);
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
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return file;
}

std::filesystem::path BmpSuiteDir() {
  const std::filesystem::path dir = std::filesystem::path(QUILLMARK_TESTDATA_DIR) / "bmpsuite";
  std::error_code ec;
  return std::filesystem::is_directory(dir / "g", ec) ? dir : std::filesystem::path();
}

std::optional<Decoded> DecodeFile(const std::filesystem::path& path, PictureError* error) {
  PictureError e = PictureError::kNone;
  auto setError = [&](PictureError value) {
    if (error != nullptr) *error = value;
  };
  auto file = FileByteSource::Open(path, e);
  if (!file) return setError(e), std::nullopt;
  auto picture = BmpPicture::Open(*file, e);
  if (!picture) return setError(e), std::nullopt;
  Decoded decoded;
  decoded.width = picture->Width();
  decoded.height = picture->Height();
  decoded.pixels.resize(static_cast<std::size_t>(decoded.width) *
                        static_cast<std::size_t>(decoded.height));
  for (std::int32_t r = 0; r < decoded.height; ++r) {
    e = picture->ReadRow(
        r, std::span(decoded.pixels)
               .subspan(static_cast<std::size_t>(r) * static_cast<std::size_t>(decoded.width),
                        static_cast<std::size_t>(decoded.width)));
    if (e != PictureError::kNone) return setError(e), std::nullopt;
  }
  setError(PictureError::kNone);
  return decoded;
}

}  // namespace quillmark::test
