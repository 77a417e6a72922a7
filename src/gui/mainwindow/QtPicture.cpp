#include "mainwindow/QtPicture.h"

#include <QImage>
#include <QImageReader>
#include <QPainter>

namespace quillmark {
namespace {

// The crop window of a decoded picture, laid over white, as a pixel source.
class QtPixelSource final : public PixelSource {
 public:
  QtPixelSource(QImage canvas, std::int32_t width, std::int32_t height)
      : canvas_(std::move(canvas)), width_(width), height_(height) {}

  std::int32_t Width() const noexcept override { return width_; }
  std::int32_t Height() const noexcept override { return height_; }

  PictureError ReadRow(std::int32_t row, std::span<Colour> out) noexcept override {
    if (row < 0 || row >= canvas_.height() ||
        out.size() > static_cast<std::size_t>(canvas_.width()))
      return PictureError::kDecodeFailed;
    const auto* pixels = reinterpret_cast<const QRgb*>(canvas_.constScanLine(row));
    for (std::size_t c = 0; c < out.size(); ++c) {
      const QRgb pixel = pixels[c];
      out[c] = MakeColour(static_cast<std::uint8_t>(qRed(pixel)),
                          static_cast<std::uint8_t>(qGreen(pixel)),
                          static_cast<std::uint8_t>(qBlue(pixel)));
    }
    return PictureError::kNone;
  }

 private:
  QImage canvas_;  // the crop window only, opaque
  std::int32_t width_;
  std::int32_t height_;
};

}  // namespace

NvConversion ConvertQtPicture(const QString& path, std::int32_t widthBytes) {
  QImageReader reader(path);
  reader.setAutoTransform(true);  // as the picture is meant to be seen
  const QImage picture = reader.read();
  if (picture.isNull()) return {std::nullopt, PictureError::kDecodeFailed};

  const auto crop = NvCropFor(picture.width(), picture.height(), widthBytes);
  if (!crop) return {std::nullopt, PictureError::kBadDimensions};
  // Only the crop window is kept, laid over white paper.
  QImage canvas(crop->w, crop->h, QImage::Format_RGB32);
  if (canvas.isNull()) return {std::nullopt, PictureError::kOutOfMemory};
  canvas.fill(Qt::white);
  {
    QPainter painter(&canvas);
    painter.drawImage(0, 0, picture);
  }
  QtPixelSource source(std::move(canvas), picture.width(), picture.height());
  return ConvertPixels(source, widthBytes);
}

}  // namespace quillmark
