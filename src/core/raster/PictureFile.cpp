#include "raster/PictureFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

#include "raster/Rendition.h"

namespace quillmark {
namespace {

// An RLE BMP indexes the start of every row it may be asked for, 16 bytes each; a turned
// or fitted picture may need its bottom rows, so at most this many are indexed.
constexpr std::int32_t kMaxRleRows = 1 << 20;

bool StartsWith(std::span<const std::uint8_t> head, std::string_view text) noexcept {
  return head.size() >= text.size() && std::memcmp(head.data(), text.data(), text.size()) == 0;
}

}  // namespace

PictureFormat SniffPictureFormat(std::span<const std::uint8_t> head) noexcept {
  if (StartsWith(head, "BM")) return PictureFormat::kBmp;
  if (StartsWith(head, "\x89PNG\r\n\x1A\n")) return PictureFormat::kPng;
  if (StartsWith(head, "\xFF\xD8\xFF")) return PictureFormat::kJpeg;
  if (StartsWith(head, "GIF8") || StartsWith(head, "II*") || StartsWith(head, "MM\0*") ||
      (StartsWith(head, "RIFF") && head.size() >= 12 &&
       std::memcmp(head.data() + 8, "WEBP", 4) == 0))
    return PictureFormat::kUnsupported;
  return PictureFormat::kUnknown;
}

std::optional<Picture> Picture::Open(ByteSource& source, PictureError& error,
                                     std::int32_t rleRows) noexcept {
  std::array<std::uint8_t, 12> head{};
  const std::size_t length =
      static_cast<std::size_t>(std::min<std::uint64_t>(head.size(), source.Size()));
  if (error = source.ReadAt(0, std::span(head).first(length)); error != PictureError::kNone)
    return std::nullopt;
  const PictureFormat format = SniffPictureFormat(std::span(head).first(length));
  switch (format) {
    case PictureFormat::kBmp:
      if (auto bmp = BmpPicture::Open(source, error, rleRows))
        return Picture(format, std::move(*bmp));
      return std::nullopt;
#ifdef _WIN32
    case PictureFormat::kPng:
    case PictureFormat::kJpeg:
      if (auto system = OpenSystemPicture(source, format, error))
        return Picture(format, std::move(system));
      return std::nullopt;
#else
    case PictureFormat::kPng:
      if (auto png = PngPicture::Open(source, error)) return Picture(format, std::move(*png));
      return std::nullopt;
    case PictureFormat::kJpeg:
      if (auto jpeg = JpegPicture::Open(source, error)) return Picture(format, std::move(*jpeg));
      return std::nullopt;
#endif
    case PictureFormat::kUnsupported:
      error = PictureError::kUnsupportedFormat;
      return std::nullopt;
    case PictureFormat::kUnknown:
      break;
  }
  error = PictureError::kUnknownFormat;
  return std::nullopt;
}

PixelSource& Picture::Pixels() noexcept {
  return std::visit(
      [](auto& reader) -> PixelSource& {
        if constexpr (std::is_same_v<std::decay_t<decltype(reader)>, std::unique_ptr<PixelSource>>)
          return *reader;
        else
          return reader;
      },
      reader_);
}

namespace {

NvConversion ConvertOpenPicture(ByteSource& source, std::optional<Picture>& picture,
                                std::int32_t widthBytes,
                                const ConversionOptions& options) noexcept {
  PictureError error = PictureError::kNone;
  if (options.IsDefault()) {
    PixelSource& pixels = picture->Pixels();
    if (const auto crop = NvCropFor(pixels.Width(), pixels.Height(), widthBytes)) {
      if (auto e = pixels.PrepareWindow(0, crop->h, crop->w); e != PictureError::kNone)
        return {std::nullopt, e};
    }
    return ConvertPixels(pixels, widthBytes);
  }
  // A turned or fitted RLE picture may need rows below the top ones indexed at first.
  if (picture->Format() == PictureFormat::kBmp &&
      static_cast<BmpPicture&>(picture->Pixels()).RunLengthEncoded()) {
    const auto plan =
        PlanRendition(picture->Pixels().Width(), picture->Pixels().Height(), widthBytes, options);
    if (plan && plan->bottom > kMaxRleRows) return {std::nullopt, PictureError::kTooLarge};
    if (plan && plan->bottom > kNvMaxRows) {
      picture = Picture::Open(source, error, plan->bottom);
      if (!picture) return {std::nullopt, error};
    }
  }
  return ConvertWithOptions(picture->Pixels(), widthBytes, options);
}

}  // namespace

NvConversion ConvertPicture(ByteSource& source, std::int32_t widthBytes,
                            const ConversionOptions& options) noexcept {
  PictureError error = PictureError::kNone;
  std::optional<Picture> picture = Picture::Open(source, error);
  if (!picture) return {std::nullopt, error};
  const std::int32_t width = picture->Pixels().Width();
  const std::int32_t height = picture->Pixels().Height();
  NvConversion converted = ConvertOpenPicture(source, picture, widthBytes, options);
  converted.pictureWidth = width;
  converted.pictureHeight = height;
  return converted;
}

NvConversion ConvertPicture(const std::filesystem::path& path, std::int32_t widthBytes,
                            const ConversionOptions& options) noexcept {
  PictureError error = PictureError::kNone;
  int systemError = 0;
  auto file = FileByteSource::Open(path, error, &systemError);
  if (!file) return {std::nullopt, error, systemError};
  return ConvertPicture(*file, widthBytes, options);
}

}  // namespace quillmark
