#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quillmark {

// An icon resource: the same picture as a 32 x 32 and a 16 x 16 image, each an XPM
// image (header line, colour lines, one string per row).
struct IconResource {
  std::span<const char* const> large;  // 32 x 32
  std::span<const char* const> small;  // 16 x 16
};

// The icon resource with this ID, or null when there is none.
const IconResource* FindIconResource(int id) noexcept;

// One image of an icon resource, decoded: the colour of each pixel as 0xRRGGBB, rows top
// first, no value where the pixel is transparent.
struct IconPixels {
  int width = 0;
  int height = 0;
  std::vector<std::optional<std::uint32_t>> pixels;
};
// Decodes an XPM image of the kind IconResource holds (colours "#RRGGBB" or "None");
// empty when it is malformed.
std::optional<IconPixels> DecodeIconImage(std::span<const char* const> xpm);

}  // namespace quillmark
