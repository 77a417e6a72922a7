#pragma once

#include <cstdint>

namespace quillmark {

// The largest image the define-NV-bit-image command carries: 1023 units of 8 dots across
// (8184, not 8192) and 288 units of 8 dots down.
inline constexpr std::int32_t kNvMaxWidthDots = 1023 * 8;
inline constexpr std::int32_t kNvMaxRows = 288 * 8;

}  // namespace quillmark
