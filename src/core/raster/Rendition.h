#pragma once

#include <cstdint>
#include <optional>

#include "raster/ConversionOptions.h"
#include "raster/NvImage.h"
#include "raster/PixelSource.h"

namespace quillmark {

// Where the NV image of a picture comes from when ConversionOptions other than the
// default apply. Everything is worked out in the picture's own orientation, so that rows
// are read from the top down whatever the turn, and turned only when the dots are stored:
//   scaled    the picture's size after --fit (its own size without it), not yet turned
//   crop      the NV image's kept part, as printed (turned)
//   window    the part of the scaled picture that becomes the crop: columns x0 to x1 - 1,
//             rows y0 to y1 - 1
//   columns   the source columns read: 0 to columns - 1
//   top, bottom  the source rows read: top to bottom - 1
struct RenditionPlan {
  std::int32_t scaledWidth = 0, scaledHeight = 0;
  NvCrop crop;
  std::int32_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  std::int32_t columns = 0, top = 0, bottom = 0;
};

// The plan for a width x height picture on a printer `widthBytes` wide (see NvCropFor).
// --fit scales the turned picture to the print width, or to 2304 rows when that would make
// it taller, each side rounded and at least 1. Empty optional when width or height is 0 or
// less, or the options are not valid.
std::optional<RenditionPlan> PlanRendition(std::int32_t width, std::int32_t height,
                                           std::int32_t widthBytes,
                                           const ConversionOptions& options) noexcept;

// Converts `source` as ConvertPixels does, with `options`. With the default options it is
// ConvertPixels itself, byte for byte. Otherwise each pixel's grey level is
// 30 R + 59 G + 11 B (0 to 25500, in hundredths of a level); --fit makes each dot the
// average of the area of pixels it covers (exact, rounded once); --invert takes 25500 - g;
// and the dots are chosen by the threshold t (100 x the option) and the dither:
//   none             dark where g < t
//   ordered          dark where g < t + 25500 (2 m + 1) / 128 - 12750, m from the 8 x 8
//                    Bayer matrix at (column % 8, row % 8) of the window
//   floyd-steinberg  along each row from the left: v = g + the error carried to the pixel,
//                    dark where v < t; the error e = v (dark) or v - 25500 (light) goes 7/16
//                    to the right, 3/16 down left, 5/16 down, the rest down right, each share
//                    but the last rounded down
//   atkinson         the same order; e / 8 rounded toward zero to each of the right, two to
//                    the right, down left, down, down right and two down
// Errors stay inside the window and travel along the picture's own rows, before any turn.
// Memory: the record, and buffers of a few rows of the kept columns (every column with
// --fit), so at most kMaxDecodedWidth columns are read (kTooWide).
NvConversion ConvertWithOptions(PixelSource& source, std::int32_t widthBytes,
                                const ConversionOptions& options) noexcept;

}  // namespace quillmark
