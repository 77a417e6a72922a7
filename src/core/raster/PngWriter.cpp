#include "raster/PngWriter.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "raster/Checksums.h"

namespace quillmark {
namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kChunkOverhead = 12;  // length, type, CRC
constexpr std::uint32_t kMaxChunkData = 0x7FFFFFFFU;

struct FreeDeleter {
  void operator()(std::uint8_t* p) const noexcept { std::free(p); }
};

// A buffer that grows by doubling with realloc, so that running out of memory is a false
// result and never an exception.
class GrowingBuffer {
 public:
  std::uint8_t* data() const noexcept { return bytes_.get(); }
  std::size_t capacity() const noexcept { return capacity_; }
  bool Grow() noexcept {
    const std::size_t grown = capacity_ < 4096 ? 4096 : capacity_ * 2;
    if (grown > kMaxChunkData || !AllocationAllowed(grown)) return false;
    void* moved = std::realloc(bytes_.get(), grown);
    if (moved == nullptr) return false;
    (void)bytes_.release();
    bytes_.reset(static_cast<std::uint8_t*>(moved));
    capacity_ = grown;
    return true;
  }

 private:
  std::unique_ptr<std::uint8_t[], FreeDeleter> bytes_;
  std::size_t capacity_ = 0;
};

// A zlib deflate stream, ended whatever happens.
class Deflater {
 public:
  explicit Deflater(int level) noexcept { ok_ = deflateInit(&stream_, level) == Z_OK; }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;
  ~Deflater() {
    if (ok_) deflateEnd(&stream_);
  }

  bool ok() const noexcept { return ok_; }
  // Compresses `size` bytes into `out`, growing it as needed; `finish` ends the stream.
  bool Put(const std::uint8_t* bytes, std::size_t size, GrowingBuffer& out, bool finish) noexcept {
    stream_.next_in = const_cast<Bytef*>(bytes);  // zlib's API is not const-correct
    stream_.avail_in = static_cast<uInt>(size);
    for (;;) {
      if (stream_.avail_out == 0) {
        const std::size_t used = stream_.total_out;
        if (!out.Grow()) return false;
        stream_.next_out = out.data() + used;
        stream_.avail_out = static_cast<uInt>(out.capacity() - used);
      }
      const int result = deflate(&stream_, finish ? Z_FINISH : Z_NO_FLUSH);
      if (result == Z_STREAM_END) return true;
      if (result != Z_OK && result != Z_BUF_ERROR) return false;
      if (!finish && stream_.avail_in == 0) return true;
    }
  }
  std::size_t size() const noexcept { return stream_.total_out; }

 private:
  z_stream stream_{};
  bool ok_ = false;
};

class Writer {
 public:
  explicit Writer(std::uint8_t* out) noexcept : out_(out) {}
  void Byte(std::uint8_t value) noexcept { *out_++ = value; }
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

std::optional<ByteBlock> EncodePng(const PngImage& picture) noexcept {
  if (picture.width < 1 || picture.height < 1 || picture.fillRow == nullptr) return std::nullopt;
  const bool grey = picture.format == PngFormat::kGrey1;
  const std::size_t rowBytes = grey ? (static_cast<std::size_t>(picture.width) + 7) / 8
                                    : static_cast<std::size_t>(picture.width) * 4;
  const auto rows = static_cast<std::size_t>(picture.height);

  // The scan lines, each after its filter type: None.
  Deflater deflater(picture.compression);
  GrowingBuffer idat;
  auto line = std::unique_ptr<std::uint8_t[], FreeDeleter>(
      AllocationAllowed(rowBytes + 1) ? static_cast<std::uint8_t*>(std::calloc(rowBytes + 1, 1))
                                      : nullptr);
  if (!deflater.ok() || !line) return std::nullopt;
  for (std::size_t row = 0; row < rows; ++row) {
    picture.fillRow(picture.context, static_cast<int>(row), {line.get() + 1, rowBytes});
    if (!deflater.Put(line.get(), rowBytes + 1, idat, row + 1 == rows)) return std::nullopt;
  }
  const std::size_t zlibSize = deflater.size();

  const std::uint64_t total =
      kSignature.size() + (kChunkOverhead + 13) + (kChunkOverhead + zlibSize) + kChunkOverhead;
  if (zlibSize > kMaxChunkData || total > std::numeric_limits<std::uint32_t>::max())
    return std::nullopt;
  auto png = ByteBlock::Allocate(static_cast<std::uint32_t>(total));
  if (!png) return std::nullopt;

  Writer w(png->data());
  w.Bytes(kSignature.data(), kSignature.size());

  std::uint8_t* type = BeginChunk(w, 13, "IHDR");
  w.U32Be(static_cast<std::uint32_t>(picture.width));
  w.U32Be(static_cast<std::uint32_t>(rows));
  w.Byte(grey ? 1 : 8);  // bit depth
  w.Byte(grey ? 0 : 6);  // colour type: greyscale, or RGB with alpha
  w.Byte(0);             // compression: deflate
  w.Byte(0);             // filter method 0
  w.Byte(0);             // no interlace
  FinishChunk(w, type);

  type = BeginChunk(w, static_cast<std::uint32_t>(zlibSize), "IDAT");
  w.Bytes(idat.data(), zlibSize);
  FinishChunk(w, type);

  type = BeginChunk(w, 0, "IEND");
  FinishChunk(w, type);
  return png;
}

std::optional<ByteBlock> EncodePng(const MonoImageView& image) noexcept {
  if (image.width < 1 || image.height < 0 || (image.height > 0 && image.bits == nullptr))
    return std::nullopt;
  // Each row inverted (PNG greyscale 0 is black), the last byte's spare bits white; a
  // picture without rows as one white row.
  const PngImage png{
      image.width, std::max(image.height, 1), PngFormat::kGrey1,
      [](const void* context, int row, std::span<std::uint8_t> line) {
        const auto& view = *static_cast<const MonoImageView*>(context);
        const std::uint8_t* source =
            view.height > 0 ? view.bits + static_cast<std::size_t>(row) * view.stride : nullptr;
        for (std::size_t i = 0; i < line.size(); ++i)
          line[i] = static_cast<std::uint8_t>(~(source != nullptr ? source[i] : 0));
        const auto lastMask = static_cast<std::uint8_t>(0xFFU << ((8 - view.width % 8) % 8));
        line.back() = static_cast<std::uint8_t>(line.back() | ~lastMask);
      },
      &image};
  return EncodePng(png);
}

FileError WritePngFile(const MonoImageView& image, const std::string& path) noexcept {
  const auto png = EncodePng(image);
  if (!png) return {FileStep::kWrite, std::make_error_code(std::errc::not_enough_memory), path};
  return ReplaceFileContents(path, png->bytes());
}

}  // namespace quillmark
