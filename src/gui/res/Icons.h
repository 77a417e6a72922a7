#pragma once

#include <span>

namespace quillmark {

// An icon resource: the same picture as a 32 x 32 and a 16 x 16 image, each an XPM
// image (header line, colour lines, one string per row).
struct IconResource {
  std::span<const char* const> large;  // 32 x 32
  std::span<const char* const> small;  // 16 x 16
};

// The icon resource with this ID, or null when there is none.
const IconResource* FindIconResource(int id) noexcept;

}  // namespace quillmark
