#include "raster/Checksums.h"

#include <zlib.h>

namespace quillmark {

std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc) noexcept {
  // zlib takes the length as an unsigned int, so a longer span goes in pieces.
  uLong c = crc;
  while (!bytes.empty()) {
    const std::size_t piece = bytes.size() < 0x40000000U ? bytes.size() : 0x40000000U;
    c = crc32(c, bytes.data(), static_cast<uInt>(piece));
    bytes = bytes.subspan(piece);
  }
  return static_cast<std::uint32_t>(c);
}

}  // namespace quillmark
