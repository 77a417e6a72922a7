#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "PngReader.h"
#include "virtualprinter/PngWriter.h"

namespace quillmark {
namespace {

TEST(PngWriter, DecodesBackToTheSameDots) {
  // Decoded by a reader with its own CRC-32 and Adler-32. Partial last bytes, one row, no
  // rows (one white row is written), and pictures whose data spans several 65535-byte
  // stored blocks with block ends inside rows. The source rows are padded with random
  // bits, which must come out white.
  const std::pair<int, int> sizes[] = {{1, 1},     {7, 3},     {8, 1},     {9, 2},
                                       {576, 300}, {832, 700}, {13, 9000}, {576, 0}};
  std::mt19937 random(1);
  for (const auto& [width, height] : sizes) {
    const std::size_t stride = static_cast<std::size_t>(width + 7) / 8 + 1;
    std::vector<std::uint8_t> bits(stride * static_cast<std::size_t>(height));
    for (auto& byte : bits)
      byte = static_cast<std::uint8_t>(random());
    const MonoImageView view{width, height, stride, bits.data()};
    const auto png = EncodePng(view);
    ASSERT_TRUE(png);
    std::string error;
    const auto decoded = test::ReadStoredPng(png->bytes(), error);
    ASSERT_TRUE(decoded) << width << "x" << height << ": " << error;
    ASSERT_EQ(decoded->width, width);
    ASSERT_EQ(decoded->height, std::max(height, 1));
    for (int y = 0; y < decoded->height; ++y)
      for (int x = 0; x < width; ++x)
        ASSERT_EQ(decoded->Dot(x, y), view.Dot(x, y)) << width << "x" << height << " at " << x;
  }
}

}  // namespace
}  // namespace quillmark
