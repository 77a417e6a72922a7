#pragma once

// Pictures that are not BMP files (PNG, JPEG, GIF and whatever else Qt's image plugins
// read), for the GUI: decoded with Qt and handed to the same conversion as BMP files.
// BMP files never come here; they go through the core's own reader.

#include <QString>

#include "raster/NvImage.h"

namespace quillmark {

// Decodes the picture at `path` with Qt and converts it as ConvertPixels does for a
// printer `widthBytes` wide. Transparent parts are laid over white, as on paper.
// kDecodeFailed when Qt cannot read the file as a picture.
NvConversion ConvertQtPicture(const QString& path, std::int32_t widthBytes);

}  // namespace quillmark
