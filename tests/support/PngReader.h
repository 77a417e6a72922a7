#pragma once

// A reader for exactly the PNGs the virtual printer writes (1-bit greyscale, filter 0 on
// every row), with its own bitwise CRC-32 and zlib's inflate, so that it checks the writer
// (which deflates) rather than sharing its code. Anything else is an error.

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillmark::test {

inline std::uint32_t SlowCrc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFFU;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k)
      crc = (crc >> 1) ^ (0xEDB88320U & (0U - (crc & 1U)));
  }
  return ~crc;
}

struct DecodedPng {
  int w = 0, h = 0;
  std::vector<bool> black;  // row-major
  int width() const { return w; }
  int height() const { return h; }
  bool Dot(int x, int y) const { return black[static_cast<std::size_t>(y * w + x)]; }
};

// The picture, or empty with `error` naming what is wrong.
inline std::optional<DecodedPng> DecodeSheetPng(std::span<const std::uint8_t> png,
                                                std::string& error) {
  auto u32 = [](std::span<const std::uint8_t> p, std::size_t at) {
    return std::uint32_t{p[at]} << 24 | std::uint32_t{p[at + 1]} << 16 |
           std::uint32_t{p[at + 2]} << 8 | p[at + 3];
  };
  auto fail = [&error](std::string what) { return error = std::move(what), std::nullopt; };
  const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 8 || !std::equal(signature, signature + 8, png.begin()))
    return fail("signature");
  DecodedPng out;
  std::vector<std::uint8_t> zlib;
  std::string type;
  for (std::size_t pos = 8; type != "IEND"; pos += 12 + u32(png, pos)) {
    if (png.size() - pos < 12 || png.size() - pos - 12 < u32(png, pos)) return fail("framing");
    const auto data = png.subspan(pos + 8, u32(png, pos));
    type.assign(png.begin() + static_cast<long>(pos) + 4, png.begin() + static_cast<long>(pos) + 8);
    if (SlowCrc32(png.subspan(pos + 4, data.size() + 4)) != u32(png, pos + 8 + data.size()))
      return fail("CRC of " + type);
    if (type == "IHDR") {
      const std::uint8_t format[] = {1, 0, 0, 0, 0};  // depth 1, grey, deflate, filter 0, plain
      if (data.size() != 13 || !std::equal(format, format + 5, data.begin() + 8)) return fail(type);
      out.w = static_cast<int>(u32(data, 0));
      out.h = static_cast<int>(u32(data, 4));
    } else if (type == "IDAT") {
      zlib.insert(zlib.end(), data.begin(), data.end());
    } else if (type != "IEND" || pos + 12 != png.size()) {
      return fail("chunk " + type);
    }
  }
  const std::size_t line = 1 + (static_cast<std::size_t>(out.w) + 7) / 8;
  // Inflated with room for one byte more than the picture needs, to catch a longer stream.
  std::vector<std::uint8_t> raw(line * static_cast<std::size_t>(std::max(out.h, 0)) + 1);
  uLongf rawSize = static_cast<uLongf>(raw.size());
  if (uncompress(raw.data(), &rawSize, zlib.data(), static_cast<uLong>(zlib.size())) != Z_OK)
    return fail("zlib stream");
  raw.resize(rawSize);
  if (out.w < 1 || out.h < 1 || raw.size() != line * static_cast<std::size_t>(out.h))
    return fail("image size");
  const unsigned spare = (1U << ((8 - out.w % 8) % 8)) - 1;  // bits right of the width
  for (int y = 0; y < out.h; ++y) {
    const std::uint8_t* row = raw.data() + static_cast<std::size_t>(y) * line;
    if (row[0] != 0 || (row[line - 1] & spare) != spare) return fail("filter or padding");
    for (int x = 0; x < out.w; ++x)
      out.black.push_back((row[1 + x / 8] & (0x80 >> (x % 8))) == 0);  // greyscale 0 is black
  }
  error.clear();
  return out;
}

}  // namespace quillmark::test
