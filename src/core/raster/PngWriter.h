#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "state/ByteBlock.h"
#include "files/SafeFile.h"
#include "raster/MonoImage.h"

namespace quillmark {

// Encodes a one-bit picture as a PNG file: 1-bit greyscale, one pixel a dot, a set bit
// black and a clear bit white, no interlace, every row unfiltered, compressed by zlib at
// its default level (a blank strip takes a three-hundredth of its stored size). A picture with
// no rows is written as one white row, since PNG has no empty image. Empty when the PNG
// would not fit 32 bits or its memory cannot be had.
std::optional<ByteBlock> EncodePng(const MonoImageView& image) noexcept;

// Writes EncodePng's result to `path` (UTF-8) with ReplaceFileContents: a failure leaves any
// earlier file at `path` as it was. A PNG that cannot be made in memory is reported as the
// write step failing for lack of memory.
FileError WritePngFile(const MonoImageView& image, const std::string& path) noexcept;

}  // namespace quillmark
