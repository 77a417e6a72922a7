#include "raster/ConversionOptions.h"

#include <array>

namespace quillmark {
namespace {

constexpr std::array<Dither, 4> kDithers = {Dither::kNone, Dither::kFloydSteinberg,
                                            Dither::kAtkinson, Dither::kOrdered};

}  // namespace

const char* DitherName(Dither dither) noexcept {
  switch (dither) {
    case Dither::kNone:
      return "none";
    case Dither::kFloydSteinberg:
      return "floyd-steinberg";
    case Dither::kAtkinson:
      return "atkinson";
    case Dither::kOrdered:
      return "ordered";
  }
  return "none";
}

std::optional<Dither> ParseDither(std::string_view name) noexcept {
  for (Dither dither : kDithers)
    if (name == DitherName(dither)) return dither;
  return std::nullopt;
}

std::string DescribeOptions(const ConversionOptions& options) {
  std::string text;
  const auto add = [&text](const std::string& part) {
    if (!text.empty()) text += ' ';
    text += part;
  };
  if (options.threshold != 128) add("--threshold " + std::to_string(options.threshold));
  if (options.dither != Dither::kNone) add(std::string("--dither ") + DitherName(options.dither));
  if (options.invert) add("--invert");
  if (options.fit) add("--fit");
  if (options.rotate != 0) add("--rotate " + std::to_string(options.rotate));
  return text;
}

}  // namespace quillmark
