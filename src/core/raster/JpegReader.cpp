#include "raster/JpegReader.h"

// jpeglib.h needs size_t and FILE declared first.
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <new>

#include "format/NvFormat.h"
#include "raster/DecodeLimits.h"
#include "raster/HeapArray.h"

namespace quillmark {
namespace {

constexpr std::size_t kInputChunk = 64 * 1024;
constexpr int kMaxScans = 500;

}  // namespace

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps
// back to the setjmp of the call into libjpeg (Guarded). Nothing between that setjmp and
// libjpeg's own frames has a destructor to skip.
struct JpegPicture::Decoder {
  jpeg_decompress_struct info{};
  struct Errors {
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};
  } errors;
  jpeg_source_mgr input{};
  jpeg_progress_mgr progress{};
  bool created = false;

  ByteSource* source = nullptr;
  std::uint64_t position = 0;  // the next file byte to hand to libjpeg
  bool reachedEnd = false;     // libjpeg asked for bytes past the end of the file
  bool tooManyScans = false;
  PictureError readError = PictureError::kNone;
  HeapArray<std::uint8_t> chunk;  // the input bytes handed to libjpeg
  HeapArray<std::uint8_t> row;    // one decoded scanline

  Decoder() noexcept = default;
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
  ~Decoder() {
    if (created) jpeg_destroy_decompress(&info);
  }

  static Decoder& Of(j_common_ptr common) noexcept {
    return *static_cast<Decoder*>(common->client_data);
  }
  static Decoder& Of(j_decompress_ptr d) noexcept { return *static_cast<Decoder*>(d->client_data); }

  static void ErrorExit(j_common_ptr common) { std::longjmp(Of(common).errors.jump, 1); }
  static void OutputMessage(j_common_ptr) {}  // warnings and traces are not printed

  static void InitSource(j_decompress_ptr) {}
  static void TermSource(j_decompress_ptr) {}
  static boolean FillInput(j_decompress_ptr d) {
    Decoder& self = Of(d);
    const std::uint64_t size = self.source->Size();
    const std::size_t count =
        self.position >= size
            ? 0
            : static_cast<std::size_t>(std::min<std::uint64_t>(kInputChunk, size - self.position));
    PictureError e = PictureError::kNone;
    if (count > 0) e = self.source->ReadAt(self.position, self.chunk.span().first(count));
    if (count == 0 || e != PictureError::kNone) {
      // No more bytes: an end-of-image marker ends the decoding, and the picture is
      // refused as truncated (or unreadable) once control is back.
      if (e != PictureError::kNone) self.readError = e;
      self.reachedEnd = true;
      self.chunk[0] = 0xFF;
      self.chunk[1] = JPEG_EOI;
      d->src->next_input_byte = self.chunk.data();
      d->src->bytes_in_buffer = 2;
      return TRUE;
    }
    self.position += count;
    d->src->next_input_byte = self.chunk.data();
    d->src->bytes_in_buffer = count;
    return TRUE;
  }
  static void SkipInput(j_decompress_ptr d, long count) {
    if (count <= 0) return;
    const auto skip = static_cast<std::size_t>(count);
    if (skip <= d->src->bytes_in_buffer) {
      d->src->next_input_byte += skip;
      d->src->bytes_in_buffer -= skip;
      return;
    }
    Of(d).position += skip - d->src->bytes_in_buffer;
    d->src->bytes_in_buffer = 0;
  }
  static void Progress(j_common_ptr common) {
    auto* d = reinterpret_cast<j_decompress_ptr>(common);
    if (d->input_scan_number > kMaxScans) {
      Of(common).tooManyScans = true;
      ErrorExit(common);
    }
  }

  // Why libjpeg stopped: the source's failure, the memory bound, or malformed data.
  PictureError Failure() const noexcept {
    if (readError != PictureError::kNone) return readError;
    if (tooManyScans) return PictureError::kBadJpeg;
    switch (errors.manager.msg_code) {
      case JERR_NO_BACKING_STORE:
        return PictureError::kTooLarge;
      case JERR_OUT_OF_MEMORY:
        return PictureError::kOutOfMemory;
      default:
        return reachedEnd ? PictureError::kTruncated : PictureError::kBadJpeg;
    }
  }

  // Runs `call` (calls into libjpeg) with error_exit jumping back here.
  template <typename Call>
  PictureError Guarded(Call&& call) noexcept {
    if (setjmp(errors.jump) != 0) return Failure();
    call();
    return PictureError::kNone;
  }
};

JpegPicture::JpegPicture() noexcept = default;
JpegPicture::JpegPicture(JpegPicture&&) noexcept = default;
JpegPicture& JpegPicture::operator=(JpegPicture&&) noexcept = default;
JpegPicture::~JpegPicture() = default;

std::optional<JpegPicture> JpegPicture::Open(ByteSource& source, PictureError& error) noexcept {
  JpegPicture picture;
  error = PictureError::kOutOfMemory;
  picture.decoder_.reset(new (std::nothrow) Decoder);
  if (!picture.decoder_) return std::nullopt;
  Decoder& d = *picture.decoder_;
  auto chunk = HeapArray<std::uint8_t>::Allocate(kInputChunk);
  if (!chunk) return std::nullopt;
  d.chunk = std::move(*chunk);
  d.source = &source;

  d.info.err = jpeg_std_error(&d.errors.manager);
  d.errors.manager.error_exit = &Decoder::ErrorExit;
  d.errors.manager.output_message = &Decoder::OutputMessage;
  d.info.client_data = &d;
  error = d.Guarded([&d] {
    jpeg_create_decompress(&d.info);
    d.created = true;
    d.info.client_data = &d;
    d.info.mem->max_memory_to_use = static_cast<long>(kMaxDecodeMemory);
    d.input.init_source = &Decoder::InitSource;
    d.input.fill_input_buffer = &Decoder::FillInput;
    d.input.skip_input_data = &Decoder::SkipInput;
    d.input.resync_to_restart = &jpeg_resync_to_restart;
    d.input.term_source = &Decoder::TermSource;
    d.info.src = &d.input;
    d.progress.progress_monitor = &Decoder::Progress;
    d.info.progress = &d.progress;
    jpeg_read_header(&d.info, TRUE);
  });
  if (error == PictureError::kNone && d.reachedEnd) error = PictureError::kTruncated;
  if (error != PictureError::kNone) return std::nullopt;
  if (d.info.image_width == 0 || d.info.image_height == 0 ||
      d.info.image_width > static_cast<JDIMENSION>(kMaxDecodedWidth)) {
    error = d.info.image_width == 0 || d.info.image_height == 0 ? PictureError::kBadDimensions
                                                                : PictureError::kTooWide;
    return std::nullopt;
  }
  picture.width_ = static_cast<std::int32_t>(d.info.image_width);
  picture.height_ = static_cast<std::int32_t>(d.info.image_height);
  switch (d.info.jpeg_color_space) {
    case JCS_GRAYSCALE:
      d.info.out_color_space = JCS_GRAYSCALE;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      d.info.out_color_space = JCS_CMYK;
      break;
    default:
      d.info.out_color_space = JCS_RGB;
      break;
  }
  return picture;
}

PictureError JpegPicture::PrepareWindow(std::int32_t top, std::int32_t rows,
                                        std::int32_t columns) noexcept {
  if (started_) return PictureError::kNone;
  if (top < 0 || rows <= 0 || columns <= 0 || top >= height_ || rows > height_ - top ||
      columns > width_)
    return PictureError::kBadDimensions;
  started_ = true;
  top_ = top;
  rows_ = rows;
  columns_ = columns;
  Decoder& d = *decoder_;
  // One column more than kept where there is one, so that the kept columns are decoded as
  // in the whole picture (the smoothing of subsampled colour treats a crop's edge as the
  // picture's edge).
  JDIMENSION offset = 0;
  JDIMENSION width = static_cast<JDIMENSION>(std::min(columns + 1, width_));
  PictureError e = d.Guarded([&] {
    jpeg_start_decompress(&d.info);
    if (width < d.info.output_width) jpeg_crop_scanline(&d.info, &offset, &width);
  });
  if (e != PictureError::kNone) return e;
  if (d.reachedEnd)
    return d.readError != PictureError::kNone ? d.readError : PictureError::kTruncated;
  auto row = HeapArray<std::uint8_t>::Allocate(std::size_t{d.info.output_width} *
                                               static_cast<std::size_t>(d.info.output_components));
  if (!row) return PictureError::kOutOfMemory;
  d.row = std::move(*row);
  if (top > 0) {
    e = d.Guarded([&] { jpeg_skip_scanlines(&d.info, static_cast<JDIMENSION>(top)); });
    if (e != PictureError::kNone) return e;
  }
  return PictureError::kNone;
}

PictureError JpegPicture::ReadRow(std::int32_t row, std::span<Colour> out) noexcept {
  if (!started_) {
    const std::int32_t rows = std::min(height_ - std::max(row, 0), kNvMaxRows);
    if (auto e = PrepareWindow(row, rows, static_cast<std::int32_t>(out.size()));
        e != PictureError::kNone)
      return e;
  }
  Decoder& d = *decoder_;
  if (row < top_ || row >= top_ + rows_ || out.size() > static_cast<std::size_t>(columns_) ||
      static_cast<JDIMENSION>(row) < d.info.output_scanline)
    return PictureError::kBadDimensions;
  while (d.info.output_scanline <= static_cast<JDIMENSION>(row)) {
    JSAMPROW line = d.row.data();
    if (auto e = d.Guarded([&] { jpeg_read_scanlines(&d.info, &line, 1); });
        e != PictureError::kNone)
      return e;
  }
  if (d.reachedEnd)
    return d.readError != PictureError::kNone ? d.readError : PictureError::kTruncated;
  const std::uint8_t* p = d.row.data();
  switch (d.info.out_color_space) {
    case JCS_GRAYSCALE:
      for (std::size_t c = 0; c < out.size(); ++c)
        out[c] = MakeColour(p[c], p[c], p[c]);
      break;
    case JCS_CMYK: {
      const bool inverted = d.info.saw_Adobe_marker != 0;
      for (std::size_t c = 0; c < out.size(); ++c, p += 4) {
        // With `inverted`, a stored value is 255 - the ink, so 255 - ink is the value.
        const auto paper = [inverted](std::uint8_t v) -> std::uint32_t {
          return inverted ? v : 255u - v;
        };
        const std::uint32_t k = paper(p[3]);
        const auto ink = [k](std::uint32_t v) {
          return static_cast<std::uint8_t>((v * k + 127u) / 255u);
        };
        out[c] = MakeColour(ink(paper(p[0])), ink(paper(p[1])), ink(paper(p[2])));
      }
      break;
    }
    default:
      for (std::size_t c = 0; c < out.size(); ++c, p += 3)
        out[c] = MakeColour(p[0], p[1], p[2]);
      break;
  }
  return PictureError::kNone;
}

}  // namespace quillmark
