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
  }
  return "unknown error";
}

std::string DescribePictureFailure(PictureError error, int systemError) {
  if (error == PictureError::kCannotOpen && systemError != 0)
    return std::system_category().message(systemError);
  return PictureErrorText(error);
}

}  // namespace quillmark
