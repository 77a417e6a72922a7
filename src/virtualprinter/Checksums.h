#pragma once

#include <cstdint>
#include <span>

namespace quillmark {

// CRC-32 as PNG chunks and the NV store file use it (reflected polynomial 0xEDB88320,
// initial value and final XOR 0xFFFFFFFF). Pass the previous result as `crc` to continue
// a checksum over several pieces; start with 0.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0) noexcept;

// Adler-32 as the zlib stream inside a PNG ends with it. Pass the previous result as
// `adler` to continue over several pieces; start with 1.
std::uint32_t Adler32(std::span<const std::uint8_t> bytes, std::uint32_t adler = 1) noexcept;

}  // namespace quillmark
