#include "raster/PngReader.h"

#include <spng.h>

#include <algorithm>
#include <array>
#include <climits>
#include <utility>

namespace quillmark {
namespace {

// Where each of the seven interlace passes puts its pixels in a row.
constexpr std::array<std::uint32_t, 7> kPassFirstColumn = {0, 4, 0, 2, 0, 1, 0};
constexpr std::array<std::uint32_t, 7> kPassColumnStep = {8, 8, 4, 4, 2, 2, 1};

constexpr std::size_t kMaxChunkBytes = std::size_t{4} << 20;
constexpr std::size_t kMaxChunkCache = std::size_t{16} << 20;

PictureError FromSpng(int error) noexcept {
  switch (error) {
    case SPNG_OK:
      return PictureError::kNone;
    case SPNG_IO_EOF:
      return PictureError::kTruncated;
    case SPNG_IO_ERROR:
      return PictureError::kReadFailed;
    case SPNG_EMEM:
      return PictureError::kOutOfMemory;
    case SPNG_EUSER_WIDTH:
      return PictureError::kTooWide;
    case SPNG_EWIDTH:
    case SPNG_EHEIGHT:
      return PictureError::kBadDimensions;
    default:
      return PictureError::kBadPng;
  }
}

Colour FromRgba(const std::uint8_t* p) noexcept {
  if (p[3] == 255) return MakeColour(p[0], p[1], p[2]);
  return MakeColour(OverWhite(p[0], p[3]), OverWhite(p[1], p[3]), OverWhite(p[2], p[3]));
}

}  // namespace

struct PngPicture::Decoder {
  struct Free {
    void operator()(spng_ctx* context) const noexcept { spng_ctx_free(context); }
  };
  std::unique_ptr<spng_ctx, Free> ctx;
  ByteSource* source = nullptr;
  std::uint64_t position = 0;
  PictureError readError = PictureError::kNone;

  // libspng's read callback: exactly `length` bytes from where the last read ended.
  static int Read(spng_ctx*, void* user, void* destination, std::size_t length) {
    auto& self = *static_cast<Decoder*>(user);
    const PictureError e =
        self.source->ReadAt(self.position, {static_cast<std::uint8_t*>(destination), length});
    if (e != PictureError::kNone) {
      self.readError = e;
      return e == PictureError::kTruncated ? SPNG_IO_EOF : SPNG_IO_ERROR;
    }
    self.position += length;
    return 0;
  }

  // A libspng error, or the source's own when a read failed under it.
  PictureError Error(int error) const noexcept {
    return readError != PictureError::kNone ? readError : FromSpng(error);
  }
};

PngPicture::PngPicture() noexcept = default;
PngPicture::PngPicture(PngPicture&&) noexcept = default;
PngPicture& PngPicture::operator=(PngPicture&&) noexcept = default;
PngPicture::~PngPicture() = default;

std::optional<PngPicture> PngPicture::Open(ByteSource& source, PictureError& error) noexcept {
  PngPicture picture;
  error = PictureError::kOutOfMemory;
  picture.decoder_.reset(new (std::nothrow) Decoder);
  if (!picture.decoder_) return std::nullopt;
  Decoder& d = *picture.decoder_;
  d.source = &source;
  d.ctx.reset(spng_ctx_new(0));
  if (!d.ctx) return std::nullopt;
  spng_ctx* ctx = d.ctx.get();
  if (spng_set_png_stream(ctx, &Decoder::Read, &d) != 0 ||
      spng_set_image_limits(ctx, kMaxDecodedWidth, INT32_MAX) != 0 ||
      spng_set_chunk_limits(ctx, kMaxChunkBytes, kMaxChunkCache) != 0)
    return std::nullopt;

  spng_ihdr header{};
  if (int e = spng_get_ihdr(ctx, &header); e != 0) {
    error = d.Error(e);
    return std::nullopt;
  }
  picture.width_ = static_cast<std::int32_t>(header.width);
  picture.height_ = static_cast<std::int32_t>(header.height);
  picture.interlaced_ = header.interlace_method != 0;
  // Reads the chunks before the image data and sets up the row decoder: every colour type
  // and depth as 8-bit RGBA, tRNS applied, no gamma.
  if (int e = spng_decode_image(ctx, nullptr, 0, SPNG_FMT_RGBA8,
                                SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE);
      e != 0) {
    error = d.Error(e);
    return std::nullopt;
  }
  auto row = HeapArray<std::uint8_t>::Allocate(std::size_t{header.width} * 4);
  if (!row) return std::nullopt;
  picture.rgba_ = std::move(*row);
  error = PictureError::kNone;
  return picture;
}

PictureError PngPicture::PrepareWindow(std::int32_t top, std::int32_t rows,
                                       std::int32_t columns) noexcept {
  if (windowSet_) return PictureError::kNone;
  if (top < 0 || rows <= 0 || columns <= 0 || top >= height_ || rows > height_ - top ||
      columns > width_)
    return PictureError::kBadDimensions;
  windowSet_ = true;
  top_ = top;
  rows_ = rows;
  columns_ = columns;
  if (!interlaced_) return PictureError::kNone;
  const std::size_t bytes =
      std::size_t{3} * static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns);
  if (bytes > kMaxDecodeMemory) return PictureError::kTooLarge;
  auto window = HeapArray<std::uint8_t>::Allocate(bytes);
  if (!window) return PictureError::kOutOfMemory;
  window_ = std::move(*window);
  return DecodeInterlaced();
}

PictureError PngPicture::DecodeRow(std::uint32_t& rowNumber, unsigned& pass) noexcept {
  if (ended_) return PictureError::kBadPng;
  spng_ctx* ctx = decoder_->ctx.get();
  spng_row_info info{};
  if (int e = spng_get_row_info(ctx, &info); e != 0) return decoder_->Error(e);
  rowNumber = info.row_num;
  pass = info.pass;
  const int e = spng_decode_row(ctx, rgba_.data(), rgba_.size());
  if (e == SPNG_EOI) {
    ended_ = true;
    return PictureError::kNone;
  }
  return e == 0 ? PictureError::kNone : decoder_->Error(e);
}

PictureError PngPicture::DecodeInterlaced() noexcept {
  // The passes come one after the other, each over the whole height; the last one (every
  // other row, every column) is followed only as far as the window reaches.
  const auto end = static_cast<std::uint32_t>(top_ + rows_);
  const auto first = static_cast<std::uint32_t>(top_);
  const auto columns = static_cast<std::uint32_t>(columns_);
  while (!ended_) {
    std::uint32_t row = 0;
    unsigned pass = 0;
    if (auto e = DecodeRow(row, pass); e != PictureError::kNone) return e;
    if (pass >= kPassColumnStep.size()) return PictureError::kBadPng;
    if (row >= first && row < end) {
      std::uint8_t* out = window_.data() + std::size_t{3} * (row - first) * columns;
      for (std::uint32_t x = kPassFirstColumn[pass]; x < columns; x += kPassColumnStep[pass]) {
        const Colour c = FromRgba(rgba_.data() + std::size_t{4} * x);
        out[3 * x] = static_cast<std::uint8_t>(c & 0xFFu);
        out[3 * x + 1] = static_cast<std::uint8_t>((c >> 8) & 0xFFu);
        out[3 * x + 2] = static_cast<std::uint8_t>((c >> 16) & 0xFFu);
      }
    }
    if (pass == kPassColumnStep.size() - 1 && row + 1 >= end) break;
  }
  return PictureError::kNone;
}

PictureError PngPicture::ReadRow(std::int32_t row, std::span<Colour> out) noexcept {
  if (!windowSet_) {
    const std::int32_t rows = std::min(height_ - std::max(row, 0), kNvMaxRows);
    if (auto e = PrepareWindow(row, rows, static_cast<std::int32_t>(out.size()));
        e != PictureError::kNone)
      return e;
  }
  if (row < top_ || row >= top_ + rows_ || out.size() > static_cast<std::size_t>(columns_) ||
      row < nextRow_)
    return PictureError::kBadDimensions;
  nextRow_ = row + 1;
  if (interlaced_) {
    const std::uint8_t* p = window_.data() + std::size_t{3} * static_cast<std::size_t>(row - top_) *
                                                 static_cast<std::size_t>(columns_);
    for (std::size_t c = 0; c < out.size(); ++c, p += 3)
      out[c] = MakeColour(p[0], p[1], p[2]);
    return PictureError::kNone;
  }
  // Rows arrive in file order: those before `row` are decoded and dropped.
  for (;;) {
    std::uint32_t decoded = 0;
    unsigned pass = 0;
    if (auto e = DecodeRow(decoded, pass); e != PictureError::kNone) return e;
    if (decoded == static_cast<std::uint32_t>(row)) break;
    if (decoded > static_cast<std::uint32_t>(row)) return PictureError::kBadPng;
  }
  const std::uint8_t* p = rgba_.data();
  for (std::size_t c = 0; c < out.size(); ++c, p += 4)
    out[c] = FromRgba(p);
  return PictureError::kNone;
}

}  // namespace quillmark
