// Writes the application icon for the desktop, from the one copy of it the program carries
// (src/gui/res/Icons.cpp): the 32 x 32 image as an XPM file as it stands; RGBA PNG files for the
// icon theme, 16 x 16 and 32 x 32 as drawn, 48 to 256 scaled from the 32 x 32 image by
// area averaging (whole multiples keep the pixels sharp, 48 blends their edges); and the
// 32 x 32 image as SVG, one square a pixel, for any size. Run by the build; the files are
// installed.
//
//   quillmark-icon-export DIR  ->  DIR/quillmark.xpm, DIR/quillmark-N.png (N = 16, 32, 48,
//                                  64, 128, 256), DIR/quillmark.svg

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "raster/PngWriter.h"
#include "res/Icons.h"
#include "res/Resource.h"

namespace {

using quillmark::IconPixels;

struct Rgba {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // 4 bytes a pixel, rows top to bottom
};

Rgba ToRgba(const IconPixels& icon) {
  Rgba image{icon.width, icon.height, {}};
  for (const std::optional<std::uint32_t>& pixel : icon.pixels) {
    const std::uint32_t rgb = pixel.value_or(0);
    image.pixels.insert(
        image.pixels.end(),
        {static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
         static_cast<std::uint8_t>(rgb), static_cast<std::uint8_t>(pixel ? 255 : 0)});
  }
  return image;
}

// `image` at size x size: each new pixel the average of the area it covers in the image,
// weighted by opacity so that transparent pixels lend no colour to the edges.
Rgba Scale(const Rgba& image, int size) {
  // Lengths in units of 1/size of a source pixel: a new pixel is image.width units wide,
  // a source pixel `size` units.
  const auto overlap = [size](int target, int source, int sourceSize) {
    const int begin = std::max(target * sourceSize, source * size);
    const int end = std::min((target + 1) * sourceSize, (source + 1) * size);
    return std::max(0, end - begin);
  };
  Rgba scaled{size, size, {}};
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      std::array<std::uint64_t, 4> sum{};  // colour times opacity, and opacity
      for (int sy = 0; sy < image.height; ++sy) {
        const int wy = overlap(y, sy, image.height);
        for (int sx = 0; wy != 0 && sx < image.width; ++sx) {
          const std::uint64_t weight = static_cast<std::uint64_t>(wy) *
                                       static_cast<std::uint64_t>(overlap(x, sx, image.width));
          const std::uint8_t* pixel =
              &image.pixels[4 * static_cast<std::size_t>(sy * image.width + sx)];
          for (int c = 0; c < 3; ++c)
            sum[static_cast<std::size_t>(c)] += weight * pixel[c] * pixel[3];
          sum[3] += weight * pixel[3];
        }
      }
      const std::uint64_t area = static_cast<std::uint64_t>(image.width) * image.height;
      for (int c = 0; c < 3; ++c) {
        const std::uint64_t value =
            sum[3] == 0 ? 0 : (sum[static_cast<std::size_t>(c)] + sum[3] / 2) / sum[3];
        scaled.pixels.push_back(static_cast<std::uint8_t>(value));
      }
      scaled.pixels.push_back(static_cast<std::uint8_t>((sum[3] + area / 2) / area));
    }
  }
  return scaled;
}

// An RGBA PNG of the image, at zlib's best compression: made once, at build time.
std::optional<quillmark::ByteBlock> EncodeRgbaPng(const Rgba& image) {
  const quillmark::PngImage picture{
      image.width,
      image.height,
      quillmark::PngFormat::kRgba8,
      [](const void* context, int row, std::span<std::uint8_t> line) {
        const auto& rgba = *static_cast<const Rgba*>(context);
        std::copy_n(rgba.pixels.begin() + static_cast<long>(line.size()) * row, line.size(),
                    line.begin());
      },
      &image,
      9};
  return quillmark::EncodePng(picture);
}

// The image as SVG: a square for each run of equal pixels in a row, drawn without
// smoothing, so that it looks as the pixels do at any size.
std::string Svg(const IconPixels& icon) {
  char line[160];
  std::snprintf(line, sizeof line,
                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
                "viewBox=\"0 0 %d %d\" shape-rendering=\"crispEdges\">\n",
                icon.width, icon.height, icon.width, icon.height);
  std::string svg = line;
  for (int y = 0; y < icon.height; ++y) {
    for (int x = 0; x < icon.width;) {
      const std::optional<std::uint32_t>& colour =
          icon.pixels[static_cast<std::size_t>(y * icon.width + x)];
      int end = x + 1;
      while (end < icon.width &&
             icon.pixels[static_cast<std::size_t>(y * icon.width + end)] == colour)
        ++end;
      if (colour) {
        std::snprintf(line, sizeof line,
                      "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"1\" fill=\"#%06X\"/>\n", x, y,
                      end - x, static_cast<unsigned>(*colour));
        svg += line;
      }
      x = end;
    }
  }
  return svg + "</svg>\n";
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return !out.fail();
}

bool WritePng(const std::string& path, const Rgba& image) {
  const std::optional<quillmark::ByteBlock> png = EncodeRgbaPng(image);
  return png && WriteFile(path, std::string(png->bytes().begin(), png->bytes().end()));
}

std::string XpmFile(std::span<const char* const> xpm) {
  std::string text = "/* XPM */\nstatic char *quillmark[] = {\n";
  for (std::size_t i = 0; i < xpm.size(); ++i)
    text += std::string("\"") + xpm[i] + "\"" + (i + 1 < xpm.size() ? ",\n" : "\n");
  return text + "};\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quillmark-icon-export DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const quillmark::IconResource* icon = quillmark::FindIconResource(quillmark::IDR_MAINFRAME);
  const std::optional<IconPixels> large =
      icon != nullptr ? quillmark::DecodeIconImage(icon->large) : std::nullopt;
  const std::optional<IconPixels> small =
      icon != nullptr ? quillmark::DecodeIconImage(icon->small) : std::nullopt;
  if (!large || !small || large->width != 32 || large->height != 32 || small->width != 16 ||
      small->height != 16) {
    std::fprintf(stderr, "quillmark-icon-export: the program has no 32 x 32 and 16 x 16 icon\n");
    return 1;
  }
  const Rgba picture = ToRgba(*large);
  bool ok = WriteFile(dir + "/quillmark.xpm", XpmFile(icon->large)) &&
            WriteFile(dir + "/quillmark.svg", Svg(*large)) &&
            WritePng(dir + "/quillmark-16.png", ToRgba(*small)) &&
            WritePng(dir + "/quillmark-32.png", picture);
  for (const int size : {48, 64, 128, 256})
    ok = ok && WritePng(dir + "/quillmark-" + std::to_string(size) + ".png", Scale(picture, size));
  if (!ok) {
    std::fprintf(stderr, "quillmark-icon-export: cannot write the icon files to %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
