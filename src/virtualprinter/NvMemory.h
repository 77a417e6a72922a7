#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "files/SafeFile.h"
#include "format/NvFormat.h"
#include "state/ByteBlock.h"

namespace quillmark {

// One stored image: x by y units of 8 dots and its column-major raster, 8x columns of y
// bytes each, the top dot of each byte in bit 7.
struct NvImageView {
  int widthUnits = 0;
  int heightUnits = 0;
  std::span<const std::uint8_t> raster;

  int widthDots() const noexcept { return 8 * widthUnits; }
  int heightDots() const noexcept { return 8 * heightUnits; }
  // Whether dot (column, row) is black; false outside the image.
  bool Dot(int column, int row) const noexcept {
    if (column < 0 || row < 0 || column >= widthDots() || row >= heightDots()) return false;
    const std::uint8_t byte =
        raster[static_cast<std::size_t>(column) * static_cast<std::size_t>(heightUnits) +
               static_cast<std::size_t>(row / 8)];
    return (byte & (0x80U >> (row % 8))) != 0;
  }
};

// The printer's non-volatile image memory. An FS q command replaces all of it, so the
// defined images are always numbers 1 to count(); each is kept as the record it arrived
// as (xL xH yL yH and the raster).
class NvMemory {
 public:
  NvMemory() = default;
  NvMemory(NvMemory&&) noexcept = default;
  NvMemory& operator=(NvMemory&&) noexcept = default;
  NvMemory(const NvMemory&) = delete;
  NvMemory& operator=(const NvMemory&) = delete;
  ~NvMemory() = default;

  int count() const noexcept { return count_; }
  // Bytes taken: 8xy + 4 for each image.
  std::uint32_t bytesUsed() const noexcept { return bytesUsed_; }

  // Image `number` (1-based); empty when it is not defined.
  std::optional<NvImageView> Image(int number) const noexcept;
  // The record of image `number`, or null when it is not defined.
  const ByteBlock* Record(int number) const noexcept;

  void Clear() noexcept;
  // Stores `record` as image count() + 1. False, and nothing stored, when all 255 numbers
  // are taken or the record is not a valid image of exactly 8xy + 4 bytes.
  bool Append(ByteBlock record) noexcept;

 private:
  std::array<std::optional<ByteBlock>, kMaxNvImages> images_;
  int count_ = 0;
  std::uint32_t bytesUsed_ = 0;
};

// The NV store file, in which a virtual printer keeps its NV memory between runs as a real
// one keeps it across power-off. All numbers little-endian:
//
//   offset 0   8 bytes  89 51 4E 56 0D 0A 1A 0A  (0x89 "QNV" CR LF ^Z LF; the control
//                       bytes catch a file mangled by a text-mode transfer)
//   offset 8   4 bytes  format version, 1
//   offset 12  4 bytes  image count k, 0 to 255
//   offset 16  ...      k records, images 1 to k, each xL xH yL yH and 8xy raster bytes
//   end - 4    4 bytes  CRC-32 of every byte before it
//
// A valid store has exactly this length, every record of a valid size, and its images
// fit the NV capacity of the printer loading it.
enum class NvStoreError {
  kNone,
  kNotFound,            // no file at the path: a printer that has never been written
  kUnreadable,          // the file cannot be opened or read
  kNotAStore,           // too short for a store, or the first 8 bytes are wrong
  kUnsupportedVersion,  // a store of a later format
  kCorrupt,             // checksum mismatch, bad count or size, wrong length
  kExceedsCapacity,     // the images need more NV memory than this printer has
  kOutOfMemory,
};

std::string_view NvStoreErrorText(NvStoreError error) noexcept;

// The store file's bytes for `memory`; empty when the memory for them cannot be had.
std::optional<ByteBlock> EncodeNvStore(const NvMemory& memory) noexcept;
// Parses a store. On success `into` is replaced by its images; on any error `into` is
// left as it was.
NvStoreError DecodeNvStore(std::span<const std::uint8_t> bytes, std::uint32_t nvCapacity,
                           NvMemory& into) noexcept;

// Writes the store to `path` (UTF-8) with ReplaceFileContents: on failure any earlier store
// at `path` is left as it was.
FileError SaveNvStore(const NvMemory& memory, const std::string& path) noexcept;
// Reads and decodes the store at `path`, as DecodeNvStore.
NvStoreError LoadNvStore(const std::string& path, std::uint32_t nvCapacity,
                         NvMemory& into) noexcept;

}  // namespace quillmark
