// Writes the application icon (resource 128) as a Windows icon file, for the Windows
// program's resources: both images as 16-colour bitmaps of the standard VGA palette, with
// a mask for the transparent pixels. A build tool: it runs on the build machine.
//   make-icon-file OUTPUT.ico

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

#include "res/Icons.h"
#include "res/Resource.h"

namespace {

constexpr std::array<std::uint32_t, 16> kVgaPalette = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

void Put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// The image as the icon resource stores it: a BITMAPINFOHEADER of twice the height, the
// palette, the 4-bit colour rows and the 1-bit mask rows, both bottom row first, each row
// padded to 32 bits. Empty when a colour is not one of the palette's.
std::vector<std::uint8_t> IconImage(const quillmark::IconPixels& image) {
  const int width = image.width;
  const int height = image.height;
  const int colourRow = (width * 4 + 31) / 32 * 4;
  const int maskRow = (width + 31) / 32 * 4;
  std::vector<std::uint8_t> out;
  for (std::uint32_t value :
       {40u, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(2 * height)})
    Put(out, value, 4);
  Put(out, 1, 2);  // planes
  Put(out, 4, 2);  // bits per pixel
  Put(out, 0, 4);  // no compression
  Put(out, static_cast<std::uint32_t>((colourRow + maskRow) * height), 4);
  for (int i = 0; i < 4; ++i)
    Put(out, i == 2 ? 16 : 0, 4);  // resolution, colours used (16), colours important
  for (std::uint32_t rgb : kVgaPalette)
    Put(out, rgb, 4);  // RGBQUAD: blue, green, red, 0
  std::vector<std::uint8_t> colours, mask;
  for (int y = height - 1; y >= 0; --y) {
    std::vector<std::uint8_t> colourBits(static_cast<std::size_t>(colourRow), 0);
    std::vector<std::uint8_t> maskBits(static_cast<std::size_t>(maskRow), 0);
    for (int x = 0; x < width; ++x) {
      const auto& pixel = image.pixels[static_cast<std::size_t>(y * width + x)];
      std::size_t index = 0;
      if (!pixel) {
        maskBits[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      } else {
        while (index < kVgaPalette.size() && kVgaPalette[index] != *pixel)
          ++index;
        if (index == kVgaPalette.size()) return {};
      }
      colourBits[static_cast<std::size_t>(x / 2)] |=
          static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
    }
    colours.insert(colours.end(), colourBits.begin(), colourBits.end());
    mask.insert(mask.end(), maskBits.begin(), maskBits.end());
  }
  out.insert(out.end(), colours.begin(), colours.end());
  out.insert(out.end(), mask.begin(), mask.end());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const quillmark::IconResource* icon = quillmark::FindIconResource(quillmark::IDR_MAINFRAME);
  if (argc != 2 || icon == nullptr) return 2;
  std::vector<std::vector<std::uint8_t>> images;
  std::vector<int> sizes;
  for (auto xpm : {icon->large, icon->small}) {
    const auto image = quillmark::DecodeIconImage(xpm);
    if (!image || image->width > 255 || image->height > 255) return 1;
    images.push_back(IconImage(*image));
    if (images.back().empty()) {
      std::fprintf(stderr, "make-icon-file: a colour outside the 16-colour palette\n");
      return 1;
    }
    sizes.push_back(image->width | image->height << 8);
  }
  std::vector<std::uint8_t> out;
  Put(out, 0, 2);  // ICONDIR: reserved, type 1 (icon), count
  Put(out, 1, 2);
  Put(out, static_cast<std::uint32_t>(images.size()), 2);
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    Put(out, static_cast<std::uint32_t>(sizes[i]), 2);  // width, height
    Put(out, 16, 1);                                    // colours
    Put(out, 0, 1);
    Put(out, 1, 2);  // planes
    Put(out, 4, 2);  // bits per pixel
    Put(out, static_cast<std::uint32_t>(images[i].size()), 4);
    Put(out, offset, 4);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const auto& image : images)
    out.insert(out.end(), image.begin(), image.end());
  std::ofstream file(argv[1], std::ios::binary);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  return file.good() ? 0 : 1;
}
