#include "raster/BmpReader.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <utility>

namespace quillmark {
namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kMaxInfoHeaderSize = 124;

std::uint16_t U16(const std::uint8_t* p) noexcept {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t U32(const std::uint8_t* p) noexcept {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t I32(const std::uint8_t* p) noexcept {
  return static_cast<std::int32_t>(U32(p));
}

// Compression codes of the Windows headers; the OS/2 2.x header reuses 3 and 4 for
// Huffman 1D and RLE24.
constexpr std::uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3,
                        kBiAlphaBitfields = 6;

std::uint32_t LowestBit(std::uint32_t mask) noexcept {
  std::uint32_t shift = 0;
  while (((mask >> shift) & 1u) == 0)
    ++shift;
  return shift;
}

}  // namespace

std::optional<BmpPicture> BmpPicture::Open(ByteSource& source, PictureError& error,
                                           std::int32_t rleRows) noexcept {
  BmpPicture picture;
  picture.source_ = &source;
  error = picture.ParseHeaders(rleRows);
  if (error != PictureError::kNone) return std::nullopt;
  return picture;
}

// What the file header and the information header say, as far as reading the pixels
// needs it; the header itself kept for the masks a long one holds.
struct BmpPicture::Headers {
  std::uint32_t offBits = 0;     // where the pixels start
  std::uint32_t headerSize = 0;  // of the information header
  bool os2v1 = false;            // OS/2 1.x: 16-bit sizes, 3-byte palette entries
  bool os2v2 = false;            // OS/2 2.x: compression codes 3 and 4 mean something else
  std::int64_t width = 0;
  std::int64_t height = 0;  // negative: rows stored top-down
  std::uint32_t planes = 0;
  std::uint32_t bitCount = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t clrUsed = 0;
  std::array<std::uint8_t, kMaxInfoHeaderSize> info{};
};

PictureError BmpPicture::ParseHeaders(std::int32_t rleRows) noexcept {
  Headers headers;
  std::uint64_t paletteStart = 0;
  using enum PictureError;
  if (auto e = ReadHeaders(headers); e != kNone) return e;
  if (headers.planes != 1) return kBadPlanes;
  if (auto e = ChooseEncoding(headers); e != kNone) return e;
  if (auto e = CheckBitCount(headers); e != kNone) return e;
  if (auto e = SetDimensions(headers); e != kNone) return e;
  if (auto e = ReadMasks(headers, paletteStart); e != kNone) return e;
  if (headers.offBits > source_->Size()) return kTruncated;
  if (headers.offBits < paletteStart) return kBadOffset;
  pixelOffset_ = headers.offBits;
  if (auto e = ReadPalette(headers, paletteStart); e != kNone) return e;
  if (encoding_ == Encoding::kRle8 || encoding_ == Encoding::kRle4) return IndexRle(rleRows);
  return CheckStoredRows();
}

PictureError BmpPicture::ReadHeaders(Headers& headers) noexcept {
  std::array<std::uint8_t, kFileHeaderSize + 4> head{};
  if (source_->Size() < 2) return PictureError::kNotBmp;
  if (auto e = source_->ReadAt(0, std::span(head).first(2)); e != PictureError::kNone) return e;
  if (head[0] != 'B' || head[1] != 'M') return PictureError::kNotBmp;
  if (auto e = source_->ReadAt(0, head); e != PictureError::kNone) return e;
  headers.offBits = U32(&head[10]);
  headers.headerSize = U32(&head[14]);
  switch (headers.headerSize) {
    case 12:
    case 16:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
      break;
    default:
      return PictureError::kBadHeaderSize;
  }
  headers.os2v1 = headers.headerSize == 12;
  headers.os2v2 = headers.headerSize == 16 || headers.headerSize == 64;
  const std::uint8_t* info = headers.info.data();
  if (auto e = source_->ReadAt(kFileHeaderSize, std::span(headers.info).first(headers.headerSize));
      e != PictureError::kNone)
    return e;
  if (headers.os2v1) {
    headers.width = U16(info + 4);
    headers.height = U16(info + 6);
    headers.planes = U16(info + 8);
    headers.bitCount = U16(info + 10);
  } else {
    headers.width = I32(info + 4);
    headers.height = I32(info + 8);
    headers.planes = U16(info + 12);
    headers.bitCount = U16(info + 14);
    if (headers.headerSize >= 20) headers.compression = U32(info + 16);
    if (headers.headerSize >= 36) headers.clrUsed = U32(info + 32);
  }
  return PictureError::kNone;
}

PictureError BmpPicture::ChooseEncoding(const Headers& headers) noexcept {
  // What the compression code means depends on the header family.
  const std::uint32_t compression = headers.compression;
  if (headers.os2v2) {
    if (compression == kBiRle8) {
      encoding_ = Encoding::kRle8;
    } else if (compression == kBiRle4) {
      encoding_ = Encoding::kRle4;
    } else if (compression != kBiRgb) {
      return PictureError::kUnsupportedCompression;  // Huffman 1D, RLE24 or unknown
    }
    return PictureError::kNone;
  }
  switch (compression) {
    case kBiRgb:
      encoding_ = Encoding::kRgb;
      return PictureError::kNone;
    case kBiRle8:
      encoding_ = Encoding::kRle8;
      return PictureError::kNone;
    case kBiRle4:
      encoding_ = Encoding::kRle4;
      return PictureError::kNone;
    case kBiBitfields:
    case kBiAlphaBitfields:
      encoding_ = Encoding::kBitfields;
      return PictureError::kNone;
    default:
      return PictureError::kUnsupportedCompression;  // JPEG, PNG, CMYK or unknown
  }
}

PictureError BmpPicture::CheckBitCount(const Headers& headers) noexcept {
  const std::uint32_t bitCount = headers.bitCount;
  const bool bitCountValid =
      headers.os2v1 ? (bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24)
                    : (bitCount == 1 || bitCount == 2 || bitCount == 4 || bitCount == 8 ||
                       bitCount == 16 || bitCount == 24 || bitCount == 32);
  if (!bitCountValid) return PictureError::kBadBitCount;
  if ((encoding_ == Encoding::kRle8 && bitCount != 8) ||
      (encoding_ == Encoding::kRle4 && bitCount != 4) ||
      (encoding_ == Encoding::kBitfields && bitCount != 16 && bitCount != 32))
    return PictureError::kBadCompression;
  bitCount_ = static_cast<int>(bitCount);
  return PictureError::kNone;
}

PictureError BmpPicture::SetDimensions(const Headers& headers) noexcept {
  // Rows are stored bottom-up unless the height is negative, which only the Windows
  // headers allow and only for uncompressed pixels.
  std::int64_t height = headers.height;
  if (headers.width <= 0 || height == 0) return PictureError::kBadDimensions;
  if (height < 0) {
    if (headers.os2v1 || headers.os2v2 || encoding_ == Encoding::kRle8 ||
        encoding_ == Encoding::kRle4)
      return PictureError::kBadDimensions;
    height = -height;  // INT32_MIN turns into 2^31, refused below
    topDown_ = true;
  }
  if (headers.width > INT32_MAX || height > INT32_MAX) return PictureError::kBadDimensions;
  width_ = static_cast<std::int32_t>(headers.width);
  height_ = static_cast<std::int32_t>(height);
  return PictureError::kNone;
}

PictureError BmpPicture::ReadMasks(const Headers& headers, std::uint64_t& paletteStart) noexcept {
  // BITFIELDS masks: inside the header from 52 bytes on, else right behind it.
  paletteStart = kFileHeaderSize + headers.headerSize;
  std::array<std::uint32_t, 3> masks{};
  if (encoding_ == Encoding::kBitfields) {
    if (headers.headerSize >= 52) {
      const std::uint8_t* info = headers.info.data();
      masks = {U32(info + 40), U32(info + 44), U32(info + 48)};
    } else {
      const std::uint32_t maskBytes = headers.compression == kBiAlphaBitfields ? 16 : 12;
      std::array<std::uint8_t, 16> raw{};
      if (auto e = source_->ReadAt(paletteStart, std::span(raw).first(maskBytes));
          e != PictureError::kNone)
        return e;
      masks = {U32(&raw[0]), U32(&raw[4]), U32(&raw[8])};
      paletteStart += maskBytes;
    }
  } else if (bitCount_ == 16) {
    masks = {0x7C00, 0x03E0, 0x001F};
  } else if (bitCount_ == 32) {
    masks = {0xFF0000, 0xFF00, 0xFF};
  }
  if (bitCount_ == 16 || bitCount_ == 32) return SetUpChannels(masks);
  return PictureError::kNone;
}

PictureError BmpPicture::ReadPalette(const Headers& headers, std::uint64_t paletteStart) noexcept {
  if (bitCount_ <= 8) {
    // The palette runs from the end of the headers to the pixels. A shorter one than
    // declared is used as far as it goes; a count beyond what the bit count can index is
    // accepted only when all of it is really there (the surplus is ignored).
    const std::uint32_t entrySize = headers.os2v1 ? 3 : 4;
    const std::uint64_t indexable = 1u << bitCount_;
    const std::uint64_t declared = headers.clrUsed != 0 ? headers.clrUsed : indexable;
    const std::uint64_t room = (headers.offBits - paletteStart) / entrySize;
    if (declared > indexable && declared > room) return PictureError::kBadPalette;
    paletteCount_ = static_cast<std::uint32_t>(std::min({declared, indexable, room}));
    if (paletteCount_ == 0) return PictureError::kBadPalette;
    std::array<std::uint8_t, 256 * 4> raw{};
    if (auto e = source_->ReadAt(paletteStart,
                                 std::span(raw).first(std::size_t{paletteCount_} * entrySize));
        e != PictureError::kNone)
      return e;
    for (std::uint32_t i = 0; i < paletteCount_; ++i) {
      const std::uint8_t* entry = &raw[i * entrySize];
      palette_[i] = MakeColour(entry[2], entry[1], entry[0]);
    }
  }
  for (std::size_t i = 0; i < palette_.size(); ++i)
    darkIndex_[i] = static_cast<std::uint8_t>(IsDarkPixel(palette_[i]));
  return PictureError::kNone;
}

PictureError BmpPicture::CheckStoredRows() noexcept {
  // Every stored row must be in the file; only the last one may lack its padding.
  const std::uint64_t rowBits =
      static_cast<std::uint64_t>(width_) * static_cast<unsigned>(bitCount_);
  const std::uint64_t rowBytes = (rowBits + 7) / 8;
  stride_ = (rowBits + 31) / 32 * 4;
  const std::uint64_t available = source_->Size() - pixelOffset_;
  if (rowBytes > available ||
      (available - rowBytes) / stride_ < static_cast<std::uint64_t>(height_ - 1))
    return PictureError::kTruncated;
  return PictureError::kNone;
}

PictureError BmpPicture::SetUpChannels(const std::array<std::uint32_t, 3>& masks) noexcept {
  const std::uint32_t usable = bitCount_ == 16 ? 0xFFFFu : 0xFFFFFFFFu;
  std::uint32_t seen = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const std::uint32_t mask = masks[i];
    if (mask == 0 || (mask & ~usable) != 0 || (mask & seen) != 0) return PictureError::kBadMasks;
    const std::uint32_t shift = LowestBit(mask);
    const std::uint64_t max = static_cast<std::uint64_t>(mask) >> shift;
    if ((max & (max + 1)) != 0) return PictureError::kBadMasks;  // not one run of bits
    channels_[i] = Channel{mask, shift, max};
    seen |= mask;
  }
  defaultMasks32_ =
      bitCount_ == 32 && masks[0] == 0xFF0000u && masks[1] == 0xFF00u && masks[2] == 0xFFu;
  if (bitCount_ == 16) {
    auto table = HeapArray<Colour>::Allocate(65536);
    if (!table) return PictureError::kOutOfMemory;
    for (std::uint32_t v = 0; v < 65536; ++v)
      (*table)[v] = ScaledColour(v);
    colours16_ = std::move(*table);
  }
  return PictureError::kNone;
}

PictureError BmpPicture::ReadRow(std::int32_t row, std::span<Colour> out) noexcept {
  if (row < 0 || row >= height_ || out.size() > static_cast<std::size_t>(width_))
    return PictureError::kBadDimensions;
  if (encoding_ == Encoding::kRle8 || encoding_ == Encoding::kRle4) return ReadRleRow(row, out);
  return ReadUncompressedRow(row, out);
}

PictureError BmpPicture::LoadStoredRow(std::int32_t row, std::size_t count) noexcept {
  const std::size_t bytes = (count * static_cast<std::size_t>(bitCount_) + 7) / 8;
  // Three spare bytes let 24-bit pixels be loaded four bytes at a time.
  if (rowBytes_.size() < bytes + 3) {
    auto buffer = HeapArray<std::uint8_t>::Allocate(bytes + 3);
    if (!buffer) return PictureError::kOutOfMemory;
    rowBytes_ = std::move(*buffer);
  }
  const std::uint64_t stored =
      topDown_ ? static_cast<std::uint64_t>(row) : static_cast<std::uint64_t>(height_ - 1 - row);
  if (auto e = source_->ReadAt(pixelOffset_ + stored * stride_, rowBytes_.span().first(bytes));
      e != PictureError::kNone)
    return e;
  return PictureError::kNone;
}

PictureError BmpPicture::ReadUncompressedRow(std::int32_t row, std::span<Colour> out) noexcept {
  const std::size_t count = out.size();
  if (auto e = LoadStoredRow(row, count); e != PictureError::kNone) return e;
  const std::uint8_t* p = rowBytes_.data();
  Colour* o = out.data();
  switch (bitCount_) {
    case 1:
      for (std::size_t c = 0; c < count; ++c)
        o[c] = palette_[(p[c >> 3] >> (7 - (c & 7))) & 1u];
      break;
    case 2:
      for (std::size_t c = 0; c < count; ++c)
        o[c] = palette_[(p[c >> 2] >> (6 - 2 * (c & 3))) & 3u];
      break;
    case 4:
      for (std::size_t c = 0; c < count; ++c)
        o[c] = palette_[(p[c >> 1] >> ((c & 1) ? 0 : 4)) & 15u];
      break;
    case 8:
      for (std::size_t c = 0; c < count; ++c)
        o[c] = palette_[p[c]];
      break;
    case 16:
      for (std::size_t c = 0; c < count; ++c)
        o[c] = colours16_[U16(p + 2 * c)];
      break;
    case 24:
      // Blue, green, red in the file; red, green, blue in a colour value.
      for (std::size_t c = 0; c < count; ++c, p += 3) {
        const std::uint32_t v = U32(p);
        o[c] = ((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu);
      }
      break;
    case 32:
      if (defaultMasks32_) {
        for (std::size_t c = 0; c < count; ++c, p += 4) {
          const std::uint32_t v = U32(p);
          o[c] = ((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu);
        }
      } else {
        for (std::size_t c = 0; c < count; ++c, p += 4)
          o[c] = ScaledColour(U32(p));
      }
      break;
    default:
      return PictureError::kBadBitCount;
  }
  return PictureError::kNone;
}

PictureError BmpPicture::MarkDarkRow(std::int32_t row, std::span<std::uint8_t> bits,
                                     int shift) noexcept {
  if (row < 0 || row >= height_ || bits.size() > static_cast<std::size_t>(width_))
    return PictureError::kBadDimensions;
  const std::size_t count = bits.size();
  std::uint8_t* b = bits.data();
  const bool rle = encoding_ == Encoding::kRle8 || encoding_ == Encoding::kRle4;
  const bool palette = bitCount_ <= 8;
  const bool bytesOnly = bitCount_ == 24 || (bitCount_ == 32 && defaultMasks32_);
  if (rle || (!palette && !bytesOnly)) {
    // No shortcut: the row's colours, then the dark test.
    if (rowColours_.size() < count) {
      auto buffer = HeapArray<Colour>::Allocate(count);
      if (!buffer) return PictureError::kOutOfMemory;
      rowColours_ = std::move(*buffer);
    }
    if (auto e = ReadRow(row, rowColours_.span().first(count)); e != PictureError::kNone) return e;
    for (std::size_t c = 0; c < count; ++c)
      b[c] = static_cast<std::uint8_t>(b[c] | (IsDarkPixel(rowColours_[c]) << shift));
    return PictureError::kNone;
  }

  if (auto e = LoadStoredRow(row, count); e != PictureError::kNone) return e;
  const std::uint8_t* p = rowBytes_.data();
  const auto bit = static_cast<std::uint8_t>(1u << shift);
  if (palette) {
    // Each palette entry's dark test is known already: the bit to or in, per index.
    std::array<std::uint8_t, 256> marks{};
    for (std::size_t i = 0; i < marks.size(); ++i)
      marks[i] = static_cast<std::uint8_t>(darkIndex_[i] ? bit : 0u);
    switch (bitCount_) {
      case 1:
        for (std::size_t c = 0; c < count; ++c)
          b[c] |= marks[(p[c >> 3] >> (7 - (c & 7))) & 1u];
        break;
      case 2:
        for (std::size_t c = 0; c < count; ++c)
          b[c] |= marks[(p[c >> 2] >> (6 - 2 * (c & 3))) & 3u];
        break;
      case 4:
        for (std::size_t c = 0; c < count; ++c)
          b[c] |= marks[(p[c >> 1] >> ((c & 1) ? 0 : 4)) & 15u];
        break;
      default:
        for (std::size_t c = 0; c < count; ++c)
          b[c] |= marks[p[c]];
        break;
    }
    return PictureError::kNone;
  }
  // 24 bits, or 32 in the default layout: blue, green, red are the pixel's first bytes.
  // The sum less 12800 is negative exactly for a dark pixel; its sign selects the bit.
  const std::size_t step = static_cast<std::size_t>(bitCount_) / 8;
  for (std::size_t c = 0; c < count; ++c, p += step) {
    const auto below = static_cast<std::int32_t>(30u * p[2] + 59u * p[1] + 11u * p[0]) - 12800;
    b[c] |= static_cast<std::uint8_t>(static_cast<std::uint32_t>(below >> 31) & bit);
  }
  return PictureError::kNone;
}

PictureError BmpPicture::ReadGreyRow(std::int32_t row, std::span<std::uint16_t> out) noexcept {
  if (row < 0 || row >= height_ || out.size() > static_cast<std::size_t>(width_) || !HasGreyRows())
    return PictureError::kBadDimensions;
  const std::size_t count = out.size();
  if (auto e = LoadStoredRow(row, count); e != PictureError::kNone) return e;
  const std::uint8_t* p = rowBytes_.data();
  std::uint16_t* o = out.data();
  if (bitCount_ > 8) {
    // A fixed step lets the compiler work on many pixels at once.
    const auto greyOf = [o, p, count](auto step) {
      for (std::size_t c = 0; c < count; ++c) {
        const std::uint8_t* q = p + c * step;
        o[c] = static_cast<std::uint16_t>(30u * q[2] + 59u * q[1] + 11u * q[0]);
      }
    };
    if (bitCount_ == 24) {
      greyOf(std::integral_constant<std::size_t, 3>());
    } else {
      greyOf(std::integral_constant<std::size_t, 4>());
    }
    return PictureError::kNone;
  }
  std::array<std::uint16_t, 256> grey{};
  for (std::size_t i = 0; i < grey.size(); ++i) {
    const Colour v = palette_[i];
    grey[i] = static_cast<std::uint16_t>(30 * (v & 0xFFu) + 59 * ((v >> 8) & 0xFFu) +
                                         11 * ((v >> 16) & 0xFFu));
  }
  const unsigned bits = static_cast<unsigned>(bitCount_);
  const unsigned perByte = 8 / bits;
  const unsigned mask = (1u << bits) - 1;
  for (std::size_t c = 0; c < count; ++c) {
    const unsigned shift = bits * (perByte - 1 - static_cast<unsigned>(c % perByte));
    o[c] = grey[(p[c / perByte] >> shift) & mask];
  }
  return PictureError::kNone;
}

PictureError BmpPicture::Fetch(std::uint64_t offset, std::size_t count,
                               const std::uint8_t*& bytes) noexcept {
  if (offset >= chunkOffset_ && offset - chunkOffset_ <= chunkLength_ &&
      count <= chunkLength_ - (offset - chunkOffset_)) {
    bytes = chunk_.data() + (offset - chunkOffset_);
    return PictureError::kNone;
  }
  if (chunk_.size() == 0) {
    auto buffer = HeapArray<std::uint8_t>::Allocate(kChunk + kStreamSlack);
    if (!buffer) return PictureError::kOutOfMemory;
    chunk_ = std::move(*buffer);
  }
  const std::uint64_t size = source_->Size();
  if (offset > size || count > size - offset) return PictureError::kTruncated;
  const std::size_t length =
      static_cast<std::size_t>(std::min<std::uint64_t>(chunk_.size(), size - offset));
  chunkOffset_ = offset;
  chunkLength_ = 0;
  if (auto e = source_->ReadAt(offset, chunk_.span().first(length)); e != PictureError::kNone)
    return e;
  chunkLength_ = length;
  bytes = chunk_.data();
  return PictureError::kNone;
}

PictureError BmpPicture::NextRleOp(std::uint64_t offset, RleOp& op) noexcept {
  const std::uint8_t* b = nullptr;
  if (auto e = Fetch(offset, 2, b); e != PictureError::kNone) return e;
  op = RleOp{};
  if (b[0] != 0) {
    op.kind = RleOp::kRun;
    op.count = b[0];
    op.value = b[1];
    op.next = offset + 2;
    return PictureError::kNone;
  }
  switch (b[1]) {
    case 0:
      op.kind = RleOp::kEndOfLine;
      op.next = offset + 2;
      return PictureError::kNone;
    case 1:
      op.kind = RleOp::kEndOfBitmap;
      op.next = offset + 2;
      return PictureError::kNone;
    case 2:
      if (auto e = Fetch(offset, 4, b); e != PictureError::kNone) return e;
      op.kind = RleOp::kDelta;
      op.dx = b[2];
      op.dy = b[3];
      op.next = offset + 4;
      return PictureError::kNone;
    default: {
      // A literal: the index bytes follow, padded to a whole 16-bit word.
      op.kind = RleOp::kLiteral;
      op.count = b[1];
      const std::uint64_t bytes =
          encoding_ == Encoding::kRle8 ? op.count : (std::uint64_t{op.count} + 1) / 2;
      op.dataOffset = offset + 2;
      op.next = op.dataOffset + (bytes + 1) / 2 * 2;
      const std::uint64_t size = source_->Size();
      if (op.next > size) return PictureError::kTruncated;
      return PictureError::kNone;
    }
  }
}

PictureError BmpPicture::IndexRle(std::int32_t rleRows) noexcept {
  // Walks the stream once: every run and move must stay inside the picture, and the stream
  // must reach its end-of-bitmap mark or cover every row. The walk stops as soon as the
  // last row has ended: what follows is no part of the picture, however long the file. On
  // the way, the start of each row among the top `rleRows` displayed rows is noted, so that
  // a row is later decoded on its own. Rows are stored bottom-up: stored row s is displayed
  // row H-1-s.
  const std::int32_t indexed = std::clamp(rleRows, 0, height_);
  auto rows = HeapArray<RleRowStart>::Allocate(static_cast<std::size_t>(indexed));
  if (!rows) return PictureError::kOutOfMemory;
  rleRows_ = std::move(*rows);

  const std::int64_t height = height_;
  const std::uint64_t width = static_cast<std::uint64_t>(width_);
  std::int64_t stored = 0;
  std::uint64_t x = 0;
  auto noteRowStart = [&](std::uint64_t offset) {
    if (stored >= height) return;
    const std::int64_t displayed = height - 1 - stored;
    if (displayed < indexed) {
      rleRows_[static_cast<std::size_t>(displayed)] =
          RleRowStart{offset, static_cast<std::uint32_t>(x), 1};
    }
  };

  std::uint64_t offset = pixelOffset_;
  noteRowStart(offset);
  while (true) {
    RleOp op;
    const PictureError e = NextRleOp(offset, op);
    if (e == PictureError::kTruncated) {
      // A stream that stops without its end mark is whole only if every row is there.
      const bool complete = stored >= height || (stored == height - 1 && x == width);
      return complete ? PictureError::kNone : PictureError::kTruncated;
    }
    if (e != PictureError::kNone) return e;
    switch (op.kind) {
      case RleOp::kRun:
      case RleOp::kLiteral:
        if (stored >= height || op.count > width - x) return PictureError::kBadRle;
        x += op.count;
        break;
      case RleOp::kEndOfLine:
        ++stored;
        x = 0;
        if (stored >= height) return PictureError::kNone;  // every row is there
        noteRowStart(op.next);
        break;
      case RleOp::kEndOfBitmap:
        return PictureError::kNone;
      case RleOp::kDelta:
        if (stored + op.dy >= height || op.dx > width - x) return PictureError::kBadRle;
        x += op.dx;
        if (op.dy > 0) {
          stored += op.dy;
          noteRowStart(op.next);
        }
        break;
    }
    offset = op.next;
  }
}

PictureError BmpPicture::ReadRleRow(std::int32_t row, std::span<Colour> out) noexcept {
  if (static_cast<std::size_t>(row) >= rleRows_.size()) return PictureError::kBadDimensions;
  std::fill(out.begin(), out.end(), palette_[0]);
  const RleRowStart start = rleRows_[static_cast<std::size_t>(row)];
  if (!start.present) return PictureError::kNone;

  const bool rle4 = encoding_ == Encoding::kRle4;
  const std::uint64_t count = out.size();
  std::uint64_t x = start.x;
  std::uint64_t offset = start.offset;
  // Within a row the position only moves right, so decoding stops at the crop's edge.
  while (x < count) {
    RleOp op;
    if (auto e = NextRleOp(offset, op); e != PictureError::kNone) return e;
    switch (op.kind) {
      case RleOp::kRun: {
        const std::uint64_t end = std::min(count, x + op.count);
        if (rle4) {
          const Colour first = palette_[op.value >> 4], second = palette_[op.value & 15u];
          for (std::uint64_t i = 0; x + i < end; ++i)
            out[x + i] = (i & 1) ? second : first;
        } else {
          std::fill(out.begin() + static_cast<std::ptrdiff_t>(x),
                    out.begin() + static_cast<std::ptrdiff_t>(end), palette_[op.value]);
        }
        x += op.count;
        break;
      }
      case RleOp::kLiteral: {
        const std::uint8_t* data = nullptr;
        const std::size_t bytes = rle4 ? (op.count + 1) / 2 : op.count;
        if (auto e = Fetch(op.dataOffset, bytes, data); e != PictureError::kNone) return e;
        for (std::uint64_t i = 0; i < op.count && x + i < count; ++i) {
          const std::uint8_t index =
              rle4 ? static_cast<std::uint8_t>((data[i / 2] >> ((i & 1) ? 0 : 4)) & 15u) : data[i];
          out[x + i] = palette_[index];
        }
        x += op.count;
        break;
      }
      case RleOp::kEndOfLine:
      case RleOp::kEndOfBitmap:
        return PictureError::kNone;
      case RleOp::kDelta:
        if (op.dy > 0) return PictureError::kNone;
        x += op.dx;
        break;
    }
    offset = op.next;
  }
  return PictureError::kNone;
}

}  // namespace quillmark
