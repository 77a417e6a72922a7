#include "virtualprinter/Checksums.h"

#include <array>
#include <cstddef>

namespace quillmark {
namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k)
      c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc) noexcept {
  std::uint32_t c = crc ^ 0xFFFFFFFFU;
  for (std::uint8_t byte : bytes)
    c = kCrcTable[(c ^ byte) & 0xFFU] ^ (c >> 8);
  return c ^ 0xFFFFFFFFU;
}

std::uint32_t Adler32(std::span<const std::uint8_t> bytes, std::uint32_t adler) noexcept {
  constexpr std::uint32_t kBase = 65521;
  // 5552 is the longest run whose sums cannot overflow 32 bits before the modulo.
  constexpr std::size_t kRun = 5552;
  std::uint32_t a = adler & 0xFFFFU;
  std::uint32_t b = adler >> 16;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t end = pos + kRun < bytes.size() ? pos + kRun : bytes.size();
    for (; pos < end; ++pos) {
      a += bytes[pos];
      b += a;
    }
    a %= kBase;
    b %= kBase;
  }
  return (b << 16) | a;
}

}  // namespace quillmark
