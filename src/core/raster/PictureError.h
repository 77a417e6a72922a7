#pragma once

#include <string>

namespace quillmark {

// Why a picture gave no NV image. kNone means success.
enum class PictureError {
  kNone,
  kCannotOpen,              // missing or unreadable: the system's error says why
  kNotAFile,                // not a regular file: a folder, a FIFO, a device
  kReadFailed,              // an input/output error while reading
  kNotBmp,                  // no "BM" signature (or too short to hold one)
  kTruncated,               // the file ends inside the headers, palette or pixel data
  kBadHeaderSize,           // an information header size that no BMP version uses
  kBadDimensions,           // width or height 0 or less, or rows top-down where not allowed
  kBadPlanes,               // planes other than 1
  kBadBitCount,             // a bit count that is not 1, 2, 4, 8, 16, 24 or 32
  kUnsupportedCompression,  // embedded JPEG or PNG, OS/2 Huffman or RLE24, unknown codes
  kBadCompression,          // a compression that does not fit the bit count
  kBadMasks,                // BITFIELDS masks empty, overlapping or not contiguous
  kBadPalette,              // no palette for a palette picture, or an impossible one
  kBadOffset,               // pixel data said to start inside the headers or past the end
  kBadRle,                  // an RLE stream whose runs or moves leave the picture
  kOutOfMemory,             // the record or a row buffer could not be allocated
  kDecodeFailed,            // a pixel source other than the BMP reader could not decode
  kUnknownFormat,           // neither a BMP, a PNG nor a JPEG file
  kUnsupportedFormat,       // a GIF, TIFF or WebP picture, which are not read
  kBadPng,                  // a PNG file whose chunks or compressed rows are malformed
  kBadJpeg,                 // a JPEG file whose markers or compressed data are malformed
  kTooWide,                 // wider than the readers and the options' row buffers take
  kTooLarge,                // would need more memory than its decoding is allowed
  kNoDecoder,               // a PNG or JPEG picture where the system has no decoder for it
};

// A short English description, for the command line and logs.
const char* PictureErrorText(PictureError error) noexcept;

// Why a picture gave no image, in plain words: PictureErrorText, or for a file that could
// not be opened the system's reason (`systemError`: errno, or GetLastError on Windows).
std::string DescribePictureFailure(PictureError error, int systemError);

}  // namespace quillmark
