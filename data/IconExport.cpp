// Writes the application icon for the desktop, from the one copy of it the program carries
// (src/gui/res/Icons.cpp): the 32 x 32 image as an XPM file as it stands, and both images as
// RGBA PNG files for the icon theme. Run by the build; the files are installed.
//
//   quillmark-icon-export DIR  ->  DIR/quillmark.xpm, DIR/quillmark-32.png, DIR/quillmark-16.png

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "raster/PngWriter.h"
#include "res/Icons.h"
#include "res/Resource.h"

namespace {

struct Rgba {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // 4 bytes a pixel, rows top to bottom
};

std::optional<std::uint32_t> HexColour(const std::string& text) {
  if (text.size() != 7 || text[0] != '#') return std::nullopt;
  std::uint32_t value = 0;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                             : -1;
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return value;
}

// The XPM images of the icon use one character a pixel and "c #RRGGBB" or "c None".
std::optional<Rgba> DecodeXpm(std::span<const char* const> xpm) {
  if (xpm.empty()) return std::nullopt;
  std::istringstream header(xpm[0]);
  int colours = 0;
  int perPixel = 0;
  Rgba image;
  if (!(header >> image.width >> image.height >> colours >> perPixel) || perPixel != 1 ||
      xpm.size() != static_cast<std::size_t>(1 + colours + image.height))
    return std::nullopt;
  std::map<char, std::array<std::uint8_t, 4>> palette;
  for (int i = 1; i <= colours; ++i) {
    const std::string line = xpm[static_cast<std::size_t>(i)];
    if (line.size() < 5 || line.substr(1, 3) != " c ") return std::nullopt;
    const std::string value = line.substr(4);
    if (value == "None") {
      palette[line[0]] = {0, 0, 0, 0};
    } else if (const auto rgb = HexColour(value)) {
      palette[line[0]] = {static_cast<std::uint8_t>(*rgb >> 16),
                          static_cast<std::uint8_t>(*rgb >> 8), static_cast<std::uint8_t>(*rgb),
                          255};
    } else {
      return std::nullopt;
    }
  }
  for (int row = 0; row < image.height; ++row) {
    const std::string line = xpm[static_cast<std::size_t>(1 + colours + row)];
    if (line.size() != static_cast<std::size_t>(image.width)) return std::nullopt;
    for (char c : line) {
      const auto found = palette.find(c);
      if (found == palette.end()) return std::nullopt;
      image.pixels.insert(image.pixels.end(), found->second.begin(), found->second.end());
    }
  }
  return image;
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

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return !out.fail();
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
  if (icon == nullptr) {
    std::fprintf(stderr, "quillmark-icon-export: the program has no application icon\n");
    return 1;
  }
  bool ok = WriteFile(dir + "/quillmark.xpm", XpmFile(icon->large));
  for (const auto& [images, size] : {std::pair{icon->large, 32}, std::pair{icon->small, 16}}) {
    const std::optional<Rgba> image = DecodeXpm(images);
    if (!image || image->width != size || image->height != size) {
      std::fprintf(stderr, "quillmark-icon-export: the %d x %d icon image cannot be read\n", size,
                   size);
      return 1;
    }
    const std::optional<quillmark::ByteBlock> png = EncodeRgbaPng(*image);
    ok = png &&
         WriteFile(dir + "/quillmark-" + std::to_string(size) + ".png",
                   std::string(png->bytes().begin(), png->bytes().end())) &&
         ok;
  }
  if (!ok) {
    std::fprintf(stderr, "quillmark-icon-export: cannot write the icon files to %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
