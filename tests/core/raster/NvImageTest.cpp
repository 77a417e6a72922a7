#include <gtest/gtest.h>

#include <algorithm>

#include "raster/NvImage.h"
#include "support/BmpTestFiles.h"

namespace quillmark::test {
namespace {

using DarkAt = std::function<bool(std::int32_t c, std::int32_t r)>;
const DarkAt kBlack = [](std::int32_t, std::int32_t) { return true; };
const DarkAt kWhite = [](std::int32_t, std::int32_t) { return false; };
// Differs from column to column and row to row: a shifted or transposed raster shows.
const DarkAt kPattern = [](std::int32_t c, std::int32_t r) {
  return (c * 7 + r * 3 + (c / 8) * (r / 8)) % 5 < 2;
};

TEST(IsDarkPixel, WeightedSumBelow12800IsDark) {
  // 12800 and 12799 are reached with each weight in play, so a swapped weight shows.
  const std::tuple<std::uint8_t, std::uint8_t, std::uint8_t, int> cases[] = {
      {128, 128, 128, 0}, {127, 127, 127, 1}, {0, 208, 48, 0},   {0, 208, 47, 1},
      {53, 190, 0, 0},    {52, 190, 0, 1},    {48, 145, 255, 0}, {47, 145, 255, 1},
      {0, 0, 0, 1},       {255, 0, 255, 1},   {0, 255, 0, 0},    {255, 255, 255, 0}};
  for (const auto& [r, g, b, dark] : cases) {
    EXPECT_EQ(IsDarkPixel(MakeColour(r, g, b)), dark) << +r << "," << +g << "," << +b;
    EXPECT_EQ(IsDarkPixel(MakeColour(r, g, b) | 0xFF000000u), dark);  // bits 24 to 31 ignored
  }
}

// The header gives the crop's size in units of 8; dot (c, r) is set exactly where the
// picture is dark inside the crop, columns one after the other, zeros beyond.
TEST(ConvertPixels, CropsAndLayout) {
  struct Case {
    std::int32_t W, H, widthBytes, widthLimit;
    const DarkAt& dark = kPattern;
    bool topDown = false, rle = false;
    Bytes expected = {};  // the record spelled out
  };
  // clang-format off
  const Case cases[] = {
      {1, 1, 72, 576, kBlack}, {1, 1, 72, 576, kWhite}, {8, 8, 0, 8184, kBlack}, {9, 9, 104, 832, kBlack},
      {8, 3, 72, 576, kBlack, false, false, {1, 0, 1, 0, 0xE0, 0xE0, 0xE0, 0xE0, 0xE0, 0xE0, 0xE0, 0xE0}},
      {9, 9, 0, 8184}, {575, 10, 72, 576}, {576, 8, 72, 576}, {577, 9, 72, 576},
      {600, 100, 72, 576}, {900, 17, 104, 832}, {20, 9, 1, 8}, {10000, 3000, 0, 8184},
      // 2305 rows keep rows 0 to 2303, whichever way they are stored.
      {11, 2305, 0, 8184}, {11, 2305, 0, 8184, kPattern, true}, {11, 2305, 0, 8184, kPattern, false, true},
      // A width outside 1 to 1023 bytes cannot be carried; it counts as none chosen.
      {8200, 9, -1, 8184}, {8200, 9, 1024, 8184}, {8200, 9, 1023, 8184},
  };
  // clang-format on
  TempDir dir;
  for (const Case& k : cases) {
    SCOPED_TRACE(::testing::Message() << k.W << "x" << k.H << " widthBytes " << k.widthBytes);
    BmpFields f =
        Fields(k.W, k.topDown ? -k.H : k.H, k.rle ? 8 : 1, k.rle ? 1u : 0u, {0xFFFFFF, 0});
    const PixelValue value = [&](std::int32_t c, std::int32_t r) { return k.dark(c, r) ? 1u : 0u; };
    f.pixels = k.rle ? EncodeRle(k.W, k.H, false, value) : PackRows(k.W, k.H, 1, k.topDown, value);
    const auto result = ConvertPictureFile(dir.Write("p.bmp", BuildBmp(f)), k.widthBytes);
    ASSERT_TRUE(result.record);
    const Bytes record(result.record->bytes().begin(), result.record->bytes().end());
    const std::int32_t w = std::min(k.W, k.widthLimit), h = std::min(k.H, 2304);
    const std::int32_t x = (w + 7) / 8, y = (h + 7) / 8;
    ASSERT_EQ(record.size(), static_cast<std::size_t>(8 * x * y + 4));
    EXPECT_EQ(std::pair(record[0] + 256 * record[1], record[2] + 256 * record[3]), std::pair(x, y));
    int wrong = 0;
    for (std::int32_t c = 0; c < 8 * x; ++c)
      for (std::int32_t r = 0; r < 8 * y; ++r)
        wrong += DotAt(record, c, r) != (c < w && r < h && k.dark(c, r));
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(k.expected.empty() || record == k.expected);
  }
}

}  // namespace
}  // namespace quillmark::test
