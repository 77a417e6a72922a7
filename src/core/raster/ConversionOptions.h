#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillmark {

// How the dots of a picture are chosen from its grey levels.
enum class Dither {
  kNone,            // each dot on its own: dark below the threshold
  kFloydSteinberg,  // error diffusion to four neighbours, 7/16, 3/16, 5/16, 1/16
  kAtkinson,        // error diffusion of 6/8 of the error to six neighbours
  kOrdered,         // an 8 x 8 Bayer matrix of thresholds around the threshold
};

// How a picture becomes an NV image. The default value is the plain conversion: the
// top-left part that fits, each dot dark where 30 R + 59 G + 11 B is below 12800.
// Everything else is opt-in:
//   threshold  the grey level 0 to 255 below which a dot is dark (the plain one is 128)
//   dither     spreads the grey levels over the dots instead of cutting at the threshold
//   invert     prints the negative: grey level g counts as 255 - g
//   fit        scales the picture, keeping its aspect ratio and averaging the area each dot
//              covers, to the print width, or smaller so that it is at most 2304 rows
//   rotate     turns the picture clockwise by 90, 180 or 270 degrees first
struct ConversionOptions {
  int threshold = 128;
  Dither dither = Dither::kNone;
  bool invert = false;
  bool fit = false;
  int rotate = 0;

  bool IsDefault() const noexcept {
    return threshold == 128 && dither == Dither::kNone && !invert && !fit && rotate == 0;
  }
  // Threshold 0 to 255 and rotate 0, 90, 180 or 270.
  bool IsValid() const noexcept {
    return threshold >= 0 && threshold <= 255 &&
           (rotate == 0 || rotate == 90 || rotate == 180 || rotate == 270);
  }
  bool operator==(const ConversionOptions&) const = default;
};

// "none", "floyd-steinberg", "atkinson", "ordered".
const char* DitherName(Dither dither) noexcept;
std::optional<Dither> ParseDither(std::string_view name) noexcept;

// The options that differ from the default, as the command line spells them:
// "--dither atkinson --fit --rotate 90"; empty for the default.
std::string DescribeOptions(const ConversionOptions& options);

}  // namespace quillmark
