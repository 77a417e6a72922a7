#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "format/NvFormat.h"
#include "raster/ByteSource.h"
#include "raster/HeapArray.h"
#include "raster/PictureError.h"
#include "raster/PixelSource.h"

namespace quillmark {

// A BMP picture read straight from its file, one requested row at a time: nothing but the
// headers, the palette and the bytes of the rows asked for is held in memory, whatever
// size the header claims.
//
// Accepted: OS/2 1.x (12-byte) and 2.x (16- and 64-byte) headers and the Windows 40-,
// 52-, 56-, 108- and 124-byte headers; 1, 2, 4 and 8 bits with a palette (a short palette
// is used as far as it goes, an index beyond it reads as black); 16 and 32 bits with the
// default or BITFIELDS / ALPHABITFIELDS masks, every channel scaled to 0-255 as
// round(v * 255 / max); 24 bits; RLE8 and RLE4 (pixels the stream skips take palette
// colour 0); rows stored top-down where the format allows it. Alpha is ignored.
//
// Everything else is refused by Open with the reason: truncated files, sizes, planes,
// bit counts, masks, palettes or offsets that do not add up, malformed RLE, embedded JPEG
// or PNG, OS/2 Huffman and RLE24. Every read is checked against the file's size.
class BmpPicture final : public PixelSource {
 public:
  // Reads and checks the headers and palette of the BMP in `source` and, for RLE, walks
  // the whole stream once to check it and to note where each of the top `rleRows` rows
  // (as displayed) starts. `source` must outlive the picture. Empty optional with `error`
  // set when the picture is refused.
  static std::optional<BmpPicture> Open(ByteSource& source, PictureError& error,
                                        std::int32_t rleRows = kNvMaxRows) noexcept;

  std::int32_t Width() const noexcept override { return width_; }
  std::int32_t Height() const noexcept override { return height_; }
  // Any row 0 to Height() - 1 for uncompressed pictures, rows 0 to rleRows - 1 for RLE;
  // out.size() at most Width().
  PictureError ReadRow(std::int32_t row, std::span<Colour> out) noexcept override;
  bool HasDarkRows() const noexcept override { return true; }
  PictureError MarkDarkRow(std::int32_t row, std::span<std::uint8_t> bits,
                           int shift) noexcept override;

  // Uncompressed palette pictures, 24 bits, and 32 bits in the default layout.
  bool HasGreyRows() const noexcept override {
    return !RunLengthEncoded() && (bitCount_ <= 8 || bitCount_ == 24 || defaultMasks32_);
  }
  PictureError ReadGreyRow(std::int32_t row, std::span<std::uint16_t> out) noexcept override;

  int BitCount() const noexcept { return bitCount_; }
  bool TopDown() const noexcept { return topDown_; }
  bool RunLengthEncoded() const noexcept {
    return encoding_ == Encoding::kRle8 || encoding_ == Encoding::kRle4;
  }

 private:
  enum class Encoding { kRgb, kBitfields, kRle8, kRle4 };

  // One colour channel of a 16- or 32-bit pixel: its mask, where it starts and how it
  // scales to 0-255.
  struct Channel {
    std::uint32_t mask = 0;
    std::uint32_t shift = 0;
    std::uint64_t max = 0;  // mask >> shift
    std::uint8_t Scale(std::uint32_t pixel) const noexcept {
      const std::uint64_t v = (pixel & mask) >> shift;
      return static_cast<std::uint8_t>((v * 255 * 2 + max) / (2 * max));
    }
  };

  // Where decoding of one displayed row of an RLE picture starts.
  struct RleRowStart {
    std::uint64_t offset = 0;
    std::uint32_t x = 0;
    std::uint32_t present = 0;  // 0: the stream skips the whole row
  };

  // One operation of an RLE stream.
  struct RleOp {
    enum Kind { kRun, kLiteral, kEndOfLine, kEndOfBitmap, kDelta } kind = kRun;
    std::uint32_t count = 0;  // pixels of a run or literal
    std::uint8_t value = 0;   // the run's index byte (two nibbles in RLE4)
    std::uint32_t dx = 0, dy = 0;
    std::uint64_t dataOffset = 0;  // a literal's index bytes
    std::uint64_t next = 0;        // the operation after this one
  };

  BmpPicture() noexcept = default;

  // Reads and checks the headers, the masks and the palette, in these steps; for RLE it
  // then indexes the stream, otherwise checks that every stored row is there.
  struct Headers;
  PictureError ParseHeaders(std::int32_t rleRows) noexcept;
  PictureError ReadHeaders(Headers& headers) noexcept;
  PictureError ChooseEncoding(const Headers& headers) noexcept;
  PictureError CheckBitCount(const Headers& headers) noexcept;
  PictureError SetDimensions(const Headers& headers) noexcept;
  PictureError ReadMasks(const Headers& headers, std::uint64_t& paletteStart) noexcept;
  PictureError ReadPalette(const Headers& headers, std::uint64_t paletteStart) noexcept;
  PictureError CheckStoredRows() noexcept;
  PictureError SetUpChannels(const std::array<std::uint32_t, 3>& masks) noexcept;
  // Reads the file bytes of the first `count` pixels of displayed row `row` into rowBytes_.
  PictureError LoadStoredRow(std::int32_t row, std::size_t count) noexcept;
  PictureError ReadUncompressedRow(std::int32_t row, std::span<Colour> out) noexcept;
  PictureError ReadRleRow(std::int32_t row, std::span<Colour> out) noexcept;
  PictureError IndexRle(std::int32_t rleRows) noexcept;
  PictureError NextRleOp(std::uint64_t offset, RleOp& op) noexcept;
  // Makes bytes [offset, offset + count) of the file available at `bytes` (count at most
  // kStreamSlack), reading a new chunk when needed.
  PictureError Fetch(std::uint64_t offset, std::size_t count, const std::uint8_t*& bytes) noexcept;
  Colour ScaledColour(std::uint32_t pixel) const noexcept {
    return MakeColour(channels_[0].Scale(pixel), channels_[1].Scale(pixel),
                      channels_[2].Scale(pixel));
  }

  static constexpr std::size_t kChunk = 64 * 1024;
  static constexpr std::size_t kStreamSlack = 512;

  ByteSource* source_ = nullptr;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  int bitCount_ = 0;
  bool topDown_ = false;
  Encoding encoding_ = Encoding::kRgb;
  std::uint64_t pixelOffset_ = 0;
  std::uint64_t stride_ = 0;  // bytes from one stored row to the next, uncompressed
  std::uint32_t paletteCount_ = 0;
  std::array<Colour, 256> palette_{};          // entries past paletteCount_ stay black
  std::array<std::uint8_t, 256> darkIndex_{};  // IsDarkPixel of each palette entry
  std::array<Channel, 3> channels_{};          // red, green, blue of 16- and 32-bit pixels
  bool defaultMasks32_ = false;                // 32 bits in the default 8-8-8 layout
  HeapArray<Colour> colours16_;                // every 16-bit value's colour
  HeapArray<std::uint8_t> rowBytes_;           // one row's file bytes, uncompressed
  HeapArray<Colour> rowColours_;               // one row's colours, for MarkDarkRow's slow paths
  HeapArray<RleRowStart> rleRows_;             // one entry per displayed row indexed
  HeapArray<std::uint8_t> chunk_;              // a window onto the RLE stream
  std::uint64_t chunkOffset_ = 0;
  std::size_t chunkLength_ = 0;
};

}  // namespace quillmark
