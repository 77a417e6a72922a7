#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "format/NvFormat.h"
#include "state/AppState.h"
#include "state/ByteBlock.h"

namespace quillmark {

// The FS q header's size: 3 bytes (FS q n), 4 with the ESC prefix when brixMode is non-zero.
constexpr std::uint32_t NvDefinitionHeaderSize(std::int32_t brixMode) noexcept {
  return brixMode != 0 ? 4 : 3;
}

// Size of the definition stream the slots and brixMode of `state` make: the 3- or 4-byte
// FS q header and ten records (a filled slot's own size, 12 for an empty one). 64 bits,
// so that no count of slots can wrap.
std::uint64_t NvDefinitionStreamSize(const AppState& state) noexcept;

// The NV image definition stream: FS q with n = 10 (ESC-prefixed when brixMode is
// non-zero), then slot 1 to 10 in order, a blank image for each empty slot. One buffer
// of exactly the stream's size. Empty when the memory cannot be had.
std::optional<ByteBlock> BuildNvDefinitionStream(const AppState& state) noexcept;

// The print-test stream: "[Image1]" to "[Image10]", each followed by FS p recalling that
// image, and a final 00; 152 bytes, or 162 with the ESC prefix when brixMode is non-zero.
// Empty when the memory cannot be had.
std::optional<ByteBlock> BuildNvPrintTestStream(std::int32_t brixMode) noexcept;

}  // namespace quillmark
