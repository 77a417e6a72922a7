#pragma once

// The printer's format, as Quillmark writes it and the virtual printer reads it: the
// control bytes, the commands that define and print NV bit images, the NV image record and
// its limits, the blank image of an empty slot, and the header of a printer memory image.

#include <array>
#include <cstddef>
#include <cstdint>

namespace quillmark {

// Control bytes.
inline constexpr std::uint8_t kNul = 0x00;
inline constexpr std::uint8_t kHt = 0x09;
inline constexpr std::uint8_t kLf = 0x0A;
inline constexpr std::uint8_t kCr = 0x0D;
inline constexpr std::uint8_t kDle = 0x10;
inline constexpr std::uint8_t kEsc = 0x1B;
inline constexpr std::uint8_t kFs = 0x1C;
inline constexpr std::uint8_t kGs = 0x1D;

// FS q n: define n NV bit images, whose records follow, replacing every image stored
// before. FS p n m: print NV bit image n in mode m. In BRIX mode both begin with ESC.
inline constexpr std::uint8_t kDefineNvImages = 'q';
inline constexpr std::uint8_t kPrintNvImage = 'p';

// FS q numbers its images 1 to n with a one-byte n.
inline constexpr int kMaxNvImages = 255;

// An NV image record: the 4-byte header xL xH yL yH (x and y little-endian, in units of 8
// dots), then 8x columns of y bytes each, left to right, the top dot of each byte in bit 7.
inline constexpr std::size_t kNvRecordHeaderSize = 4;
// The largest image a record carries: 1023 units across (8184 dots, not 8192) and 288 down.
inline constexpr int kMaxNvImageWidthUnits = 1023;
inline constexpr int kMaxNvImageHeightUnits = 288;
inline constexpr std::int32_t kNvMaxWidthDots = 8 * kMaxNvImageWidthUnits;
inline constexpr std::int32_t kNvMaxRows = 8 * kMaxNvImageHeightUnits;

// Whether x by y units of 8 dots is an image a record can carry.
constexpr bool IsValidNvImageSize(int x, int y) noexcept {
  return x >= 1 && x <= kMaxNvImageWidthUnits && y >= 1 && y <= kMaxNvImageHeightUnits;
}
// The bytes of a record of x by y units: its raster and its header. This is also what the
// image takes of the printer's NV memory.
constexpr std::uint32_t NvRecordSize(int x, int y) noexcept {
  return 8U * static_cast<std::uint32_t>(x) * static_cast<std::uint32_t>(y) +
         static_cast<std::uint32_t>(kNvRecordHeaderSize);
}

// The size a record's header gives, in units of 8 dots.
struct NvImageSize {
  int x = 0;
  int y = 0;
};
constexpr NvImageSize ReadNvRecordHeader(const std::uint8_t* header) noexcept {
  return {header[0] | header[1] << 8, header[2] | header[3] << 8};
}
constexpr void WriteNvRecordHeader(std::uint8_t* header, int x, int y) noexcept {
  header[0] = static_cast<std::uint8_t>(x % 256);
  header[1] = static_cast<std::uint8_t>(x / 256);
  header[2] = static_cast<std::uint8_t>(y % 256);
  header[3] = static_cast<std::uint8_t>(y / 256);
}

// The blank 8 x 8-dot image written for an empty slot, so that slot N is always image N.
inline constexpr std::array<std::uint8_t, 12> BlankNvImage = {0x01, 0x00, 0x01, 0x00, 0, 0,
                                                              0,    0,    0,    0,    0, 0};

// A printer memory image: the header it must begin with to be patched, and the one a
// patched image begins with (it differs at offsets 2 and 12).
inline constexpr std::array<std::uint8_t, 32> ExpectedImageHeader = {
    0x48, 0x74, 0x1E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x0B, 0x00, 0x01, 0x00,
    0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
inline constexpr std::array<std::uint8_t, 32> PatchedImageHeader = {
    0x48, 0x74, 0x31, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00,
    0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
// The largest stream a memory image takes: header and stream fill at most its first 512 KiB.
inline constexpr std::uint32_t MaxPatchStreamSize = 524288 - 32;  // 0x7FFE0

}  // namespace quillmark
