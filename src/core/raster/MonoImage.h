#pragma once

#include <cstddef>
#include <cstdint>

namespace quillmark {

// A read-only view of a one-bit-per-dot picture: rows top to bottom, `stride` bytes apart,
// the leftmost dot of each byte in bit 7, a set bit a black dot. Bits right of `width` in
// the last byte of a row are ignored.
struct MonoImageView {
  int width = 0;
  int height = 0;
  std::size_t stride = 0;
  const std::uint8_t* bits = nullptr;

  bool Dot(int x, int y) const noexcept {
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    const std::uint8_t byte =
        bits[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) / 8];
    return (byte & (0x80U >> (static_cast<unsigned>(x) % 8))) != 0;
  }
};

}  // namespace quillmark
