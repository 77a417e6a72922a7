#pragma once

#include <cstddef>
#include <cstdint>

namespace quillmark {

// Pictures wider than this are refused by the PNG and JPEG readers, and turned or fitted
// pictures are read at most this wide: a row is held whole while it is decoded, so the
// width bounds the memory.
inline constexpr std::int32_t kMaxDecodedWidth = 65535;
// What an interlaced PNG's kept part or a progressive JPEG's coefficients may take.
inline constexpr std::size_t kMaxDecodeMemory = std::size_t{64} << 20;

// A colour channel laid over white paper by its alpha (0 transparent, 255 opaque):
// round((c * a + 255 * (255 - a)) / 255).
constexpr std::uint8_t OverWhite(std::uint32_t channel, std::uint32_t alpha) noexcept {
  return static_cast<std::uint8_t>((channel * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

}  // namespace quillmark
