#pragma once

// A reader for exactly the PNGs the virtual printer writes (1-bit greyscale, zlib stream of
// stored blocks, filter 0), with its own bitwise CRC-32 and Adler-32, so that it checks
// the writer instead of sharing its code. Anything else is an error.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillmark::test {

struct DecodedPng {
  int width = 0;
  int height = 0;
  std::vector<bool> black;  // row-major
  bool Dot(int x, int y) const {
    return black[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                 static_cast<std::size_t>(x)];
  }
};

inline std::uint32_t SlowCrc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFFU;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k)
      crc = (crc >> 1) ^ (0xEDB88320U & (0U - (crc & 1U)));
  }
  return ~crc;
}

inline std::uint32_t SlowAdler32(std::span<const std::uint8_t> bytes) {
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : bytes) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

// The decoded picture, or empty with `error` saying what is wrong.
inline std::optional<DecodedPng> ReadStoredPng(std::span<const std::uint8_t> png,
                                               std::string& error) {
  auto fail = [&](const std::string& why) -> std::optional<DecodedPng> {
    error = why;
    return std::nullopt;
  };
  auto be32 = [&](std::size_t at) {
    return std::uint32_t{png[at]} << 24 | std::uint32_t{png[at + 1]} << 16 |
           std::uint32_t{png[at + 2]} << 8 | png[at + 3];
  };
  const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 8 || !std::equal(signature, signature + 8, png.begin()))
    return fail("signature");
  DecodedPng out;
  std::vector<std::uint8_t> zlib;
  bool ended = false;
  for (std::size_t pos = 8; !ended;) {
    if (png.size() - pos < 12) return fail("truncated chunk");
    const std::uint32_t length = be32(pos);
    if (png.size() - pos - 12 < length) return fail("chunk length");
    const std::string type(png.begin() + static_cast<long>(pos) + 4,
                           png.begin() + static_cast<long>(pos) + 8);
    const auto data = png.subspan(pos + 8, length);
    if (SlowCrc32(png.subspan(pos + 4, length + 4)) != be32(pos + 8 + length))
      return fail("CRC of " + type);
    if (type == "IHDR") {
      if (length != 13 || data[8] != 1 || data[9] != 0 || data[10] != 0 || data[11] != 0 ||
          data[12] != 0)
        return fail("IHDR");
      out.width = static_cast<int>(be32(pos + 8));
      out.height = static_cast<int>(be32(pos + 12));
    } else if (type == "IDAT") {
      zlib.insert(zlib.end(), data.begin(), data.end());
    } else if (type == "IEND") {
      ended = true;
      if (pos + 12 != png.size()) return fail("bytes after IEND");
    } else {
      return fail("unexpected chunk " + type);
    }
    pos += 12 + length;
  }
  if (zlib.size() < 6 || (zlib[0] & 0x0F) != 8 || (zlib[0] * 256 + zlib[1]) % 31 != 0 ||
      (zlib[1] & 0x20) != 0)
    return fail("zlib header");
  std::vector<std::uint8_t> raw;
  std::size_t pos = 2;
  for (bool final = false; !final;) {
    if (zlib.size() - pos < 5) return fail("truncated block");
    if ((zlib[pos] & 0x06) != 0) return fail("not a stored block");
    final = (zlib[pos] & 1) != 0;
    const unsigned len = zlib[pos + 1] | zlib[pos + 2] << 8;
    const unsigned nlen = zlib[pos + 3] | zlib[pos + 4] << 8;
    if ((len ^ 0xFFFFU) != nlen) return fail("LEN/NLEN");
    pos += 5;
    if (zlib.size() - pos < len) return fail("block overruns");
    raw.insert(raw.end(), zlib.begin() + static_cast<long>(pos),
               zlib.begin() + static_cast<long>(pos + len));
    pos += len;
  }
  if (zlib.size() - pos != 4) return fail("zlib trailer");
  const std::uint32_t adler = std::uint32_t{zlib[pos]} << 24 | std::uint32_t{zlib[pos + 1]} << 16 |
                              std::uint32_t{zlib[pos + 2]} << 8 | zlib[pos + 3];
  if (SlowAdler32(raw) != adler) return fail("Adler-32");
  const std::size_t line = 1 + (static_cast<std::size_t>(out.width) + 7) / 8;
  if (out.width < 1 || out.height < 1 || raw.size() != line * static_cast<std::size_t>(out.height))
    return fail("image data size");
  out.black.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
  for (int y = 0; y < out.height; ++y) {
    const std::uint8_t* row = raw.data() + static_cast<std::size_t>(y) * line;
    if (row[0] != 0) return fail("filter type");
    for (int x = 0; x < out.width; ++x) {
      const bool white = (row[1 + x / 8] & (0x80 >> (x % 8))) != 0;  // greyscale 0 is black
      out.black[static_cast<std::size_t>(y) * static_cast<std::size_t>(out.width) +
                static_cast<std::size_t>(x)] = !white;
    }
    const int spare = (8 - out.width % 8) % 8;
    if (spare != 0 && (row[line - 1] & ((1 << spare) - 1)) != (1 << spare) - 1)
      return fail("spare bits not white");
  }
  return out;
}

}  // namespace quillmark::test
