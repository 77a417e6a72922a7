#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <variant>

#include "raster/BmpReader.h"
#include "raster/ByteSource.h"
#include "raster/ConversionOptions.h"
#include "raster/NvImage.h"
#ifndef _WIN32
#include "raster/JpegReader.h"
#include "raster/PngReader.h"
#endif

namespace quillmark {

// The formats a picture file may be in, told by its first bytes, never by its name.
enum class PictureFormat {
  kBmp,          // "BM"
  kPng,          // the PNG signature
  kJpeg,         // FF D8 FF
  kUnsupported,  // GIF, TIFF or WebP: known, not read
  kUnknown,
};
PictureFormat SniffPictureFormat(std::span<const std::uint8_t> head) noexcept;

#ifdef _WIN32
// A PNG or JPEG picture (`format`) read by the system's own decoder, in the Windows build
// (raster/win32). Null, with `error` set, when it is refused; kNoDecoder when the system
// has no decoder for it. A picture is read and closed on the thread that opened it.
std::unique_ptr<PixelSource> OpenSystemPicture(ByteSource& source, PictureFormat format,
                                               PictureError& error) noexcept;
#endif

// A picture of any readable format, read from `source` through the reader of its format:
// the BMP reader, and for PNG and JPEG libspng and libjpeg, or in the Windows build the
// system's decoder. `source` must outlive it.
class Picture {
 public:
  // kUnknownFormat or kUnsupportedFormat when no reader takes the file; the reader's own
  // error when it refuses it. An RLE BMP has the starts of its top `rleRows` rows indexed.
  static std::optional<Picture> Open(ByteSource& source, PictureError& error,
                                     std::int32_t rleRows = kNvMaxRows) noexcept;

  PixelSource& Pixels() noexcept;
  PictureFormat Format() const noexcept { return format_; }

 private:
#ifdef _WIN32
  using Reader = std::variant<BmpPicture, std::unique_ptr<PixelSource>>;
#else
  using Reader = std::variant<BmpPicture, PngPicture, JpegPicture>;
#endif
  Picture(PictureFormat format, Reader reader) noexcept
      : format_(format), reader_(std::move(reader)) {}

  PictureFormat format_;
  Reader reader_;
};

// Converts the picture in `source` for a printer `widthBytes` wide with `options`: with the
// default options exactly as ConvertPixels does, else as ConvertWithOptions does.
NvConversion ConvertPicture(ByteSource& source, std::int32_t widthBytes,
                            const ConversionOptions& options = {}) noexcept;

// The same for the file at `path`, which must be a regular file (kCannotOpen otherwise).
// The window and the command line both convert pictures through this.
NvConversion ConvertPicture(const std::filesystem::path& path, std::int32_t widthBytes,
                            const ConversionOptions& options = {}) noexcept;

}  // namespace quillmark
