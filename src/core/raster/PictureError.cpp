#include "raster/PictureError.h"

#include <system_error>

namespace quillmark {

const char* PictureErrorText(PictureError error) noexcept {
  switch (error) {
    case PictureError::kNone:
      return "no error";
    case PictureError::kCannotOpen:
      return "the file cannot be opened";
    case PictureError::kNotAFile:
      return "not a file but a folder, a FIFO or a device; pictures are read from files only";
    case PictureError::kReadFailed:
      return "the file cannot be read";
    case PictureError::kNotBmp:
      return "not a BMP file";
    case PictureError::kTruncated:
      return "the file is truncated";
    case PictureError::kBadHeaderSize:
      return "unknown BMP header size";
    case PictureError::kBadDimensions:
      return "invalid width or height";
    case PictureError::kBadPlanes:
      return "invalid number of planes";
    case PictureError::kBadBitCount:
      return "unsupported bits per pixel";
    case PictureError::kUnsupportedCompression:
      return "unsupported compression (embedded JPEG or PNG, Huffman, RLE24)";
    case PictureError::kBadCompression:
      return "compression does not fit the bits per pixel";
    case PictureError::kBadMasks:
      return "invalid colour masks";
    case PictureError::kBadPalette:
      return "invalid palette";
    case PictureError::kBadOffset:
      return "invalid pixel data offset";
    case PictureError::kBadRle:
      return "malformed RLE data";
    case PictureError::kOutOfMemory:
      return "out of memory";
    case PictureError::kDecodeFailed:
      return "the picture cannot be decoded";
    case PictureError::kUnknownFormat:
      return "not a BMP, PNG or JPEG file";
    case PictureError::kUnsupportedFormat:
      return "a GIF, TIFF or WebP picture, which are not read: save it as PNG";
    case PictureError::kNoDecoder:
      return "this system has no PNG or JPEG decoder: save the picture as BMP";
    case PictureError::kBadPng:
      return "malformed PNG data";
    case PictureError::kBadJpeg:
      return "malformed JPEG data";
    case PictureError::kTooWide:
      return "wider than 65535 pixels (the most a PNG or JPEG picture, or a turned or fitted "
             "one, may be)";
    case PictureError::kTooLarge:
#ifdef _WIN32
      return "too large: the system's decoder may hold the whole picture in memory, so more "
             "than 67 million pixels are refused";
#else
      return "too large to decode within 64 MiB (an interlaced PNG is held in memory as far as "
             "it is kept, 3 bytes a pixel; a progressive JPEG whole, about 2 bytes a pixel and "
             "colour)";
#endif
  }
  return "unknown error";
}

std::string DescribePictureFailure(PictureError error, int systemError) {
  if (error == PictureError::kCannotOpen && systemError != 0)
    return std::system_category().message(systemError);
  return PictureErrorText(error);
}

}  // namespace quillmark
