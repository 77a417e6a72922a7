#pragma once

#include <cstdint>
#include <span>

namespace quillmark {

// CRC-32 as PNG chunks and the NV store file use it (reflected polynomial 0xEDB88320,
// initial value and final XOR 0xFFFFFFFF), computed by zlib. Pass the previous result as
// `crc` to continue a checksum over several pieces; start with 0.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0) noexcept;

}  // namespace quillmark
