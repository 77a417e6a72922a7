#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "files/SafeFile.h"
#include "raster/MonoImage.h"
#include "state/ByteBlock.h"

namespace quillmark {

// The pixels a PNG file can hold here: 1-bit greyscale (0 black), or 8-bit RGB with alpha.
enum class PngFormat { kGrey1, kRgba8 };

// A picture for the PNG encoder: its size and format, and the function that fills the
// scan line of row `row` (top first) with its pixels, bytes of 8 pixels or of 4 channels.
struct PngImage {
  int width = 0;
  int height = 0;
  PngFormat format = PngFormat::kGrey1;
  void (*fillRow)(const void* context, int row, std::span<std::uint8_t> line) = nullptr;
  const void* context = nullptr;
  // zlib's level. The default suits pictures made at run time: on a text sheet level 9
  // saves 7 % of the bytes and takes ten times as long.
  int compression = -1;
};

// Encodes `picture` as a PNG file: no interlace, every row unfiltered, compressed by zlib.
// Empty when the picture has no pixels, or the PNG would not fit 32 bits or its memory
// cannot be had. The one PNG encoder of the program.
std::optional<ByteBlock> EncodePng(const PngImage& picture) noexcept;

// A one-bit picture as a 1-bit greyscale PNG, one pixel a dot, a set bit black and a clear
// bit white, at zlib's default level (a blank strip takes a three-hundredth of its stored
// size). A picture with no rows is written as one white row, since PNG has no empty image.
std::optional<ByteBlock> EncodePng(const MonoImageView& image) noexcept;

// Writes EncodePng's result to `path` (UTF-8) with ReplaceFileContents: a failure leaves any
// earlier file at `path` as it was. A PNG that cannot be made in memory is reported as the
// write step failing for lack of memory.
FileError WritePngFile(const MonoImageView& image, const std::string& path) noexcept;

}  // namespace quillmark
