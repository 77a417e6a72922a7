#include "virtualprinter/PngWriter.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <limits>

#include "virtualprinter/Checksums.h"

namespace quillmark {
namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kMaxStoredBlock = 65535;  // LEN of a stored deflate block is 16 bits
constexpr std::size_t kChunkOverhead = 12;      // length, type, CRC

class Writer {
 public:
  explicit Writer(std::uint8_t* out) noexcept : out_(out) {}
  void Byte(std::uint8_t value) noexcept { *out_++ = value; }
  void U16Le(std::uint32_t value) noexcept {
    Byte(static_cast<std::uint8_t>(value));
    Byte(static_cast<std::uint8_t>(value >> 8));
  }
  void U32Be(std::uint32_t value) noexcept {
    Byte(static_cast<std::uint8_t>(value >> 24));
    Byte(static_cast<std::uint8_t>(value >> 16));
    Byte(static_cast<std::uint8_t>(value >> 8));
    Byte(static_cast<std::uint8_t>(value));
  }
  void Bytes(const void* data, std::size_t size) noexcept {
    if (size != 0) std::memcpy(out_, data, size);
    out_ += size;
  }
  // Hands out the next `size` bytes to be filled in by the caller.
  std::uint8_t* Reserve(std::size_t size) noexcept {
    std::uint8_t* start = out_;
    out_ += size;
    return start;
  }
  std::uint8_t* position() const noexcept { return out_; }

 private:
  std::uint8_t* out_;
};

// Writes the chunk's length and type; FinishChunk appends the CRC over type and data.
std::uint8_t* BeginChunk(Writer& w, std::uint32_t length, const char (&type)[5]) noexcept {
  w.U32Be(length);
  std::uint8_t* typeStart = w.position();
  w.Bytes(type, 4);
  return typeStart;
}

void FinishChunk(Writer& w, const std::uint8_t* typeStart) noexcept {
  const auto covered = static_cast<std::size_t>(w.position() - typeStart);
  w.U32Be(Crc32(std::span<const std::uint8_t>(typeStart, covered)));
}

}  // namespace

std::optional<ByteBlock> EncodePng(const MonoImageView& image) noexcept {
  if (image.width < 1 || image.height < 0 || (image.height > 0 && image.bits == nullptr))
    return std::nullopt;
  const std::size_t rowBytes = (static_cast<std::size_t>(image.width) + 7) / 8;
  const std::size_t rows = image.height > 0 ? static_cast<std::size_t>(image.height) : 1;
  const std::size_t lineBytes = 1 + rowBytes;  // filter type byte, then the dots
  constexpr std::uint64_t kLimit = std::numeric_limits<std::uint32_t>::max();
  const std::uint64_t rawSize = static_cast<std::uint64_t>(rows) * lineBytes;
  const std::uint64_t blocks = (rawSize + kMaxStoredBlock - 1) / kMaxStoredBlock;
  // zlib header, per block its 5-byte header, the data, the Adler-32.
  const std::uint64_t zlibSize = 2 + blocks * 5 + rawSize + 4;
  const std::uint64_t total =
      kSignature.size() + (kChunkOverhead + 13) + (kChunkOverhead + zlibSize) + kChunkOverhead;
  if (zlibSize > 0x7FFFFFFFU || total > kLimit) return std::nullopt;  // chunk length is 31 bits
  auto png = ByteBlock::Allocate(static_cast<std::uint32_t>(total));
  if (!png) return std::nullopt;

  Writer w(png->data());
  w.Bytes(kSignature.data(), kSignature.size());

  std::uint8_t* type = BeginChunk(w, 13, "IHDR");
  w.U32Be(static_cast<std::uint32_t>(image.width));
  w.U32Be(static_cast<std::uint32_t>(rows));
  w.Byte(1);  // bit depth
  w.Byte(0);  // colour type: greyscale
  w.Byte(0);  // compression: deflate
  w.Byte(0);  // filter method 0
  w.Byte(0);  // no interlace
  FinishChunk(w, type);

  type = BeginChunk(w, static_cast<std::uint32_t>(zlibSize), "IDAT");
  w.Byte(0x78);  // deflate, 32 KiB window
  w.Byte(0x01);  // no preset dictionary, fastest level; 0x7801 is a multiple of 31
  // The scan lines are generated straight into the stored blocks: each line is its filter
  // byte 0 and the row inverted (PNG greyscale 0 is black), the last byte's spare bits
  // white. A block boundary may fall anywhere inside a line.
  const std::uint8_t lastMask =
      static_cast<std::uint8_t>(0xFFU << ((8 - image.width % 8) % 8));  // the row's own bits
  std::uint64_t remaining = rawSize;
  std::size_t row = 0;
  std::size_t inLine = 0;  // position within the current scan line
  std::uint32_t adler = 1;
  while (remaining > 0) {
    const std::size_t blockSize =
        static_cast<std::size_t>(remaining < kMaxStoredBlock ? remaining : kMaxStoredBlock);
    remaining -= blockSize;
    w.Byte(remaining == 0 ? 1 : 0);  // BFINAL on the last block, BTYPE 00 (stored)
    w.U16Le(static_cast<std::uint32_t>(blockSize));
    w.U16Le(static_cast<std::uint32_t>(~blockSize & 0xFFFFU));
    std::uint8_t* blockStart = w.position();
    std::size_t left = blockSize;
    while (left > 0) {
      if (inLine == 0) {
        w.Byte(0);  // filter type None
        --left;
        inLine = 1;
        continue;
      }
      const std::size_t take = lineBytes - inLine < left ? lineBytes - inLine : left;
      const std::size_t first = inLine - 1;  // first row byte of this piece
      const std::uint8_t* source =
          image.height > 0 ? image.bits + row * image.stride + first : nullptr;
      std::uint8_t* out = w.Reserve(take);
      for (std::size_t i = 0; i < take; ++i) {
        const std::uint8_t dots = source != nullptr ? source[i] : 0;
        const bool last = first + i == rowBytes - 1;
        out[i] = static_cast<std::uint8_t>(~(last ? (dots & lastMask) : dots));
      }
      left -= take;
      inLine += take;
      if (inLine == lineBytes) {
        inLine = 0;
        ++row;
      }
    }
    adler = Adler32(std::span<const std::uint8_t>(blockStart, blockSize), adler);
  }
  w.U32Be(adler);
  FinishChunk(w, type);

  type = BeginChunk(w, 0, "IEND");
  FinishChunk(w, type);
  return png;
}

FileError WritePngFile(const MonoImageView& image, const std::string& path) noexcept {
  const auto png = EncodePng(image);
  if (!png) return {FileStep::kWrite, std::make_error_code(std::errc::not_enough_memory), path};
  return ReplaceFileContents(path, png->bytes());
}

}  // namespace quillmark
