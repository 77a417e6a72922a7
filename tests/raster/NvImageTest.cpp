#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "BmpTestFiles.h"
#include "raster/NvImage.h"

namespace quillmark::test {
namespace {

using DarkAt = std::function<bool(std::int32_t c, std::int32_t r)>;

// Dark dots on both sides of every crop edge, differing from column to column and row to
// row, so a shifted, transposed or mis-cropped raster shows.
bool Pattern(std::int32_t c, std::int32_t r) {
  return (c * 7 + r * 3 + (c / 8) * (r / 8)) % 5 < 2;
}

// A 1-bit picture (palette white, black), bottom-up unless `topDown`, or RLE8.
Bytes Picture(std::int32_t w, std::int32_t h, const DarkAt& dark, bool topDown = false,
              bool rle = false) {
  BmpFields f =
      Fields(w, topDown ? -h : h, rle ? 8 : 1, rle ? 1u : 0u, {MakeColour(255, 255, 255), 0});
  const PixelValue value = [&](std::int32_t c, std::int32_t r) { return dark(c, r) ? 1u : 0u; };
  f.pixels = rle ? EncodeRle(w, h, false, value) : PackRows(w, h, 1, topDown, value);
  return BuildBmp(f);
}

// A record checked bit by bit against the layout: the header for the crop of a W x H
// picture, dot (c, r) set exactly where the picture is dark inside the crop.
void ExpectRecordOf(const NvConversion& result, std::int32_t W, std::int32_t H,
                    std::int32_t widthLimit, const DarkAt& dark) {
  ASSERT_TRUE(result.record) << PictureErrorText(result.error);
  const std::int32_t w = std::min(W, widthLimit), h = std::min(H, 2304);
  const std::int32_t x = (w + 7) / 8, y = (h + 7) / 8;
  const auto bytes = result.record->bytes();
  ASSERT_EQ(bytes.size(), static_cast<std::size_t>(8 * x * y + 4));
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 4),
            (Bytes{static_cast<std::uint8_t>(x % 256), static_cast<std::uint8_t>(x / 256),
                   static_cast<std::uint8_t>(y % 256), static_cast<std::uint8_t>(y / 256)}));
  int wrong = 0;
  for (std::int32_t c = 0; c < 8 * x; ++c)
    for (std::int32_t r = 0; r < 8 * y; ++r)
      if (DotAt(bytes, c, r) != (c < w && r < h && dark(c, r)) && ++wrong <= 5)
        ADD_FAILURE() << "dot " << c << "," << r;
}

TEST(IsDarkPixel, WeightedSumBelow12800IsDark) {
  // 12800 and 12799 are reached with each weight in play, so a swapped weight shows.
  const std::tuple<int, int, int, int> cases[] = {
      {128, 128, 128, 0}, {127, 127, 127, 1}, {255, 0, 0, 1},    {0, 0, 255, 1},
      {255, 0, 255, 1},   {0, 0, 0, 1},       {0, 255, 0, 0},    {255, 255, 0, 0},
      {0, 255, 255, 0},   {255, 255, 255, 0}, {0, 208, 48, 0},   {0, 208, 47, 1},
      {53, 190, 0, 0},    {52, 190, 0, 1},    {48, 145, 255, 0}, {47, 145, 255, 1}};
  for (const auto& [r, g, b, dark] : cases) {
    const Colour colour = MakeColour(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                     static_cast<std::uint8_t>(b));
    EXPECT_EQ(IsDarkPixel(colour), dark) << r << "," << g << "," << b;
    EXPECT_EQ(IsDarkPixel(colour | 0xFF000000u), dark);  // bits 24 to 31 are ignored
  }
}

TEST(ConvertPictureFile, SmallPicturesGiveTheDocumentedBytes) {
  auto bytes = [](Bytes head, const Bytes& column, int columns, int blankColumns = 0) {
    for (int i = 0; i < columns; ++i)
      head.insert(head.end(), column.begin(), column.end());
    head.resize(head.size() + column.size() * static_cast<std::size_t>(blankColumns), 0);
    return head;
  };
  const std::tuple<std::int32_t, std::int32_t, bool, Bytes> cases[] = {
      {1, 1, true, {1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 0, 0}},
      {1, 1, false, {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {8, 8, true, bytes({1, 0, 1, 0}, {0xFF}, 8)},
      {9, 9, true, bytes({2, 0, 2, 0}, {0xFF, 0x80}, 9, 7)},
      {8, 3, true, bytes({1, 0, 1, 0}, {0xE0}, 8)},
  };
  TempDir dir;
  for (const auto& [w, h, blackPicture, expected] : cases) {
    const std::uint32_t value = blackPicture ? 0u : 0xFFFFFFu;
    BmpFields f = Fields(w, h, 24);
    f.pixels = PackRows(w, h, 24, false, [value](std::int32_t, std::int32_t) { return value; });
    for (std::int32_t widthBytes : {0, 72, 104}) {
      const auto result = ConvertPictureFile(dir.Write("p.bmp", BuildBmp(f)), widthBytes);
      ASSERT_TRUE(result.record);
      EXPECT_EQ(Bytes(result.record->bytes().begin(), result.record->bytes().end()), expected)
          << w << "x" << h << " widthBytes " << widthBytes;
    }
  }
}

TEST(ConvertPictureFile, CropsAndSizes) {
  struct Case {
    std::int32_t W, H, widthBytes, widthLimit;
    std::uint32_t size;
    bool topDown = false, rle = false;
  };
  const Case cases[] = {
      {1, 1, 72, 576, 12},
      {9, 9, 0, 8184, 36},
      {575, 10, 72, 576, 1156},
      {576, 8, 72, 576, 580},
      {577, 9, 72, 576, 1156},
      {600, 100, 72, 576, 7492},
      {900, 17, 104, 832, 2500},
      {20, 9, 1, 8, 20},
      {10000, 3000, 104, 832, 239620},
      {10000, 3000, 0, 8184, 2356996},
      // 2305 rows keep rows 0 to 2303, whichever way they are stored.
      {11, 2305, 0, 8184, 8 * 2 * 288 + 4},
      {11, 2305, 0, 8184, 8 * 2 * 288 + 4, true},
      {11, 2305, 0, 8184, 8 * 2 * 288 + 4, false, true},
      // A width outside 1 to 1023 bytes cannot be carried; it counts as none chosen.
      {8200, 9, -1, 8184, 16372},
      {8200, 9, 1024, 8184, 16372},
      {8200, 9, 1023, 8184, 16372},
  };
  TempDir dir;
  std::filesystem::path file;
  std::tuple<std::int32_t, std::int32_t, bool, bool> written{};
  for (const Case& k : cases) {
    SCOPED_TRACE(std::to_string(k.W) + "x" + std::to_string(k.H) + " widthBytes " +
                 std::to_string(k.widthBytes));
    if (written != std::tuple(k.W, k.H, k.topDown, k.rle)) {
      file = dir.Write("p.bmp", Picture(k.W, k.H, Pattern, k.topDown, k.rle));
      written = {k.W, k.H, k.topDown, k.rle};
    }
    const auto result = ConvertPictureFile(file, k.widthBytes);
    ASSERT_TRUE(result.record);
    EXPECT_EQ(result.record->size(), k.size);
    ExpectRecordOf(result, k.W, k.H, k.widthLimit, Pattern);
  }
}

// The reader tests darkness straight from palette entries and pixel bytes; across many
// colours that must agree with IsDarkPixel exactly.
TEST(ConvertPictureFile, DarkTestAgreesWithIsDarkPixel) {
  std::vector<Colour> colours = {MakeColour(128, 128, 128), MakeColour(127, 127, 127),
                                 MakeColour(0, 208, 48),    MakeColour(0, 208, 47),
                                 MakeColour(53, 190, 0),    MakeColour(52, 190, 0)};
  for (std::uint32_t state = 12345; colours.size() < 3000;) {
    state = state * 1664525u + 1013904223u;
    colours.push_back(state >> 8);
  }
  TempDir dir;
  const auto w = static_cast<std::int32_t>(colours.size());
  for (std::uint16_t bitCount : {8, 24, 32}) {
    BmpFields f = Fields(w, 1, bitCount);
    if (bitCount == 8) f.palette.assign(colours.begin(), colours.begin() + 256);
    f.pixels = PackRows(w, 1, bitCount, false, [&](std::int32_t c, std::int32_t) -> std::uint32_t {
      const Colour v = colours[static_cast<std::size_t>(c)];
      if (bitCount == 8) return static_cast<std::uint32_t>(c % 256);
      return ((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu) |
             0xAB000000u;  // padding byte
    });
    const auto result = ConvertPictureFile(dir.Write("p.bmp", BuildBmp(f)), 0);
    ASSERT_TRUE(result.record);
    int wrong = 0;
    for (std::int32_t c = 0; c < w; ++c)
      wrong += DotAt(result.record->bytes(), c, 0) !=
               (IsDarkPixel(colours[static_cast<std::size_t>(bitCount == 8 ? c % 256 : c)]) == 1);
    EXPECT_EQ(wrong, 0) << bitCount << "-bit";
  }
}

TEST(ConvertPictureFile, RefusalsGiveNoRecord) {
  TempDir dir;
  Bytes cut = Picture(5, 5, Pattern);
  cut.resize(cut.size() - 4);  // the last row loses its pixels, not only its padding
  const std::pair<std::filesystem::path, PictureError> cases[] = {
      {dir.path() / "missing.bmp", PictureError::kCannotOpen},
      {dir.path(), PictureError::kCannotOpen},  // a folder
      {dir.Write("cut.bmp", cut), PictureError::kTruncated},
      {dir.Write("text.bmp", Bytes{'h', 'e', 'l', 'l', 'o'}), PictureError::kNotBmp},
  };
  for (const auto& [path, expected] : cases) {
    const auto result = ConvertPictureFile(path, 72);
    EXPECT_FALSE(result.record) << path;
    EXPECT_EQ(result.error, expected) << path;
  }
}

// The GUI decodes other formats itself and feeds them through PixelSource; this stand-in
// for that decoder records what the conversion asks of it.
class ScriptedSource final : public PixelSource {
 public:
  ScriptedSource(std::int32_t width, std::int32_t height) : width_(width), height_(height) {}
  std::int32_t Width() const noexcept override { return width_; }
  std::int32_t Height() const noexcept override { return height_; }
  PictureError ReadRow(std::int32_t row, std::span<Colour> out) noexcept override {
    asked.emplace_back(row, out.size());
    for (std::size_t c = 0; c < out.size(); ++c)
      out[c] = Pattern(static_cast<std::int32_t>(c), row) ? MakeColour(40, 40, 40)
                                                          : MakeColour(200, 220, 240);
    return row == failAtRow ? PictureError::kDecodeFailed : PictureError::kNone;
  }
  std::vector<std::pair<std::int32_t, std::size_t>> asked;  // row and width of each call
  std::int32_t failAtRow = -1;

 private:
  std::int32_t width_, height_;
};

TEST(ConvertPixels, AsksOnlyForTheCropRowsInOrder) {
  const std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t> cases[] = {
      {600, 30, 72, 576, 30}, {13, 2400, 0, 13, 2304}, {9000, 5, 0, 8184, 5}};
  for (const auto& [W, H, widthBytes, w, h] : cases) {
    ScriptedSource source(W, H);
    ExpectRecordOf(ConvertPixels(source, widthBytes), W, H, w, Pattern);
    ASSERT_EQ(source.asked.size(), static_cast<std::size_t>(h));
    for (std::int32_t r = 0; r < h; ++r)
      EXPECT_EQ(source.asked[static_cast<std::size_t>(r)],
                std::pair(r, static_cast<std::size_t>(w)));
  }
}

TEST(ConvertPixels, FailuresGiveNoRecord) {
  for (const auto& [w, h] :
       {std::pair{0, 5}, std::pair{5, 0}, std::pair{-3, 5}, std::pair{5, INT32_MIN}}) {
    ScriptedSource source(w, h);
    const auto result = ConvertPixels(source, 72);
    EXPECT_FALSE(result.record);
    EXPECT_EQ(result.error, PictureError::kBadDimensions);
    EXPECT_TRUE(source.asked.empty());
  }
  ScriptedSource failing(20, 20);
  failing.failAtRow = 13;
  const auto result = ConvertPixels(failing, 72);
  EXPECT_FALSE(result.record);
  EXPECT_EQ(result.error, PictureError::kDecodeFailed);
  EXPECT_EQ(failing.asked.back().first, 13);
}

}  // namespace
}  // namespace quillmark::test
