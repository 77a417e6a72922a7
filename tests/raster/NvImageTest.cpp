#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "BmpTestFiles.h"
#include "raster/NvImage.h"

namespace quillmark::test {
namespace {

constexpr Colour kBlack = MakeColour(0, 0, 0), kWhite = MakeColour(255, 255, 255);

Bytes ToBytes(const std::optional<ByteBlock>& block) {
  if (!block) return {};
  return Bytes(block->bytes().begin(), block->bytes().end());
}

using DarkAt = std::function<bool(std::int32_t c, std::int32_t r)>;

// A 1-bit picture (palette white, black), bottom-up unless `topDown`.
Bytes OneBitPicture(std::int32_t w, std::int32_t h, const DarkAt& dark, bool topDown = false) {
  BmpFields f;
  f.width = w;
  f.height = topDown ? -h : h;
  f.bitCount = 1;
  f.palette = {kWhite, kBlack};
  f.pixels = PackRows(w, h, 1, topDown,
                      [&](std::int32_t c, std::int32_t r) { return dark(c, r) ? 1u : 0u; });
  return BuildBmp(f);
}

Bytes UniformPicture(std::int32_t w, std::int32_t h, Colour colour) {
  BmpFields f;
  f.width = w;
  f.height = h;
  f.bitCount = 24;
  f.pixels = PackRows(w, h, 24, false, [&](std::int32_t, std::int32_t) {
    return ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu);
  });
  return BuildBmp(f);
}

// Checks a record against the layout bit by bit: the header for the crop of a W x H
// picture, then dot (c, r) at byte 4 + c * y + r / 8, bit 7 - r % 8, set exactly where the
// picture is dark inside the crop and clear everywhere else.
void ExpectRecordOf(const NvConversion& result, std::int32_t W, std::int32_t H,
                    std::int32_t widthLimit, const DarkAt& dark) {
  ASSERT_EQ(result.error, PictureError::kNone) << PictureErrorText(result.error);
  ASSERT_TRUE(result.record);
  const std::int32_t w = std::min(W, widthLimit), h = std::min(H, 2304);
  const std::int32_t x = (w + 7) / 8, y = (h + 7) / 8;
  const std::uint8_t* data = result.record->data();
  ASSERT_EQ(result.record->size(), static_cast<std::uint32_t>(8 * x * y + 4));
  EXPECT_EQ(data[0], x % 256);
  EXPECT_EQ(data[1], x / 256);
  EXPECT_EQ(data[2], y % 256);
  EXPECT_EQ(data[3], y / 256);
  int wrong = 0;
  for (std::int32_t c = 0; c < 8 * x; ++c) {
    for (std::int32_t r = 0; r < 8 * y; ++r) {
      const std::size_t at = 4 + static_cast<std::size_t>(c) * static_cast<std::size_t>(y) +
                             static_cast<std::size_t>(r / 8);
      const bool bit = (data[at] >> (7 - r % 8)) & 1;
      const bool expected = c < w && r < h && dark(c, r);
      if (bit != expected && ++wrong <= 5)
        ADD_FAILURE() << "dot " << c << "," << r << " is " << bit;
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(IsDarkPixel, WeightedBrightnessBelow12800IsDark) {
  struct Case {
    std::uint8_t r, g, b;
    int dark;
  };
  const Case cases[] = {
      {128, 128, 128, 0},  // 12800 exactly: light
      {127, 127, 127, 1},  // 12700
      {255, 0, 0, 1},
      {0, 0, 255, 1},
      {255, 0, 255, 1},
      {0, 0, 0, 1},
      {0, 255, 0, 0},
      {255, 255, 0, 0},
      {0, 255, 255, 0},
      {255, 255, 255, 0},
      // 12800 and 12799 reached with each weight in play, so a swapped weight shows.
      {0, 208, 48, 0},
      {0, 208, 47, 1},
      {53, 190, 0, 0},
      {52, 190, 0, 1},
      {48, 145, 255, 0},
      {47, 145, 255, 1},
  };
  for (const Case& k : cases) {
    const Colour colour = MakeColour(k.r, k.g, k.b);
    EXPECT_EQ(IsDarkPixel(colour), k.dark) << int{k.r} << "," << int{k.g} << "," << int{k.b};
    // Bits 24 to 31 are ignored.
    EXPECT_EQ(IsDarkPixel(colour | 0xFF000000u), k.dark);
    EXPECT_EQ(IsDarkPixel(colour | 0x80000000u), k.dark);
  }
}

TEST(ConvertPictureFile, SmallPicturesGiveTheDocumentedBytes) {
  TempDir dir;
  struct Case {
    std::string name;
    std::int32_t w, h;
    Colour colour;
    Bytes expected;
  };
  auto repeat = [](Bytes head, const Bytes& unit, int times, const Bytes& tail = {},
                   int tailTimes = 0) {
    for (int i = 0; i < times; ++i)
      head.insert(head.end(), unit.begin(), unit.end());
    for (int i = 0; i < tailTimes; ++i)
      head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  const Case cases[] = {
      {"1x1 black", 1, 1, kBlack, {1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 0, 0}},
      {"1x1 white", 1, 1, kWhite, {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"8x8 black", 8, 8, kBlack, repeat({1, 0, 1, 0}, {0xFF}, 8)},
      {"9x9 black", 9, 9, kBlack, repeat({2, 0, 2, 0}, {0xFF, 0x80}, 9, {0, 0}, 7)},
      {"8x3 black", 8, 3, kBlack, repeat({1, 0, 1, 0}, {0xE0}, 8)},
  };
  for (const Case& k : cases) {
    for (std::int32_t widthBytes : {0, 72, 104}) {
      const auto result =
          ConvertPictureFile(dir.Write("p.bmp", UniformPicture(k.w, k.h, k.colour)), widthBytes);
      EXPECT_EQ(result.error, PictureError::kNone) << k.name;
      EXPECT_EQ(ToBytes(result.record), k.expected) << k.name << " widthBytes " << widthBytes;
    }
  }
}

// Dark dots on both sides of every crop edge, and a pattern that differs from column to
// column and row to row, so a shifted, transposed or mis-cropped raster shows.
bool Pattern(std::int32_t c, std::int32_t r) {
  return (c * 7 + r * 3 + (c / 8) * (r / 8)) % 5 < 2;
}

TEST(ConvertPictureFile, CropsAndSizes) {
  TempDir dir;
  struct Case {
    std::int32_t W, H, widthBytes;
    std::int32_t widthLimit;  // what the crop width is limited to
    Bytes header;
    std::uint32_t size;
  };
  const Case cases[] = {
      {1, 1, 72, 576, {0x01, 0x00, 0x01, 0x00}, 12},
      {9, 9, 0, 8184, {0x02, 0x00, 0x02, 0x00}, 36},
      {575, 10, 72, 576, {0x48, 0x00, 0x02, 0x00}, 1156},
      {576, 8, 72, 576, {0x48, 0x00, 0x01, 0x00}, 580},
      {577, 9, 72, 576, {0x48, 0x00, 0x02, 0x00}, 1156},
      {600, 100, 72, 576, {0x48, 0x00, 0x0D, 0x00}, 7492},
      {900, 17, 104, 832, {0x68, 0x00, 0x03, 0x00}, 2500},
      {3, 2305, 0, 8184, {0x01, 0x00, 0x20, 0x01}, 2308},
      {10000, 3000, 104, 832, {0x68, 0x00, 0x20, 0x01}, 239620},
      {10000, 3000, 0, 8184, {0xFF, 0x03, 0x20, 0x01}, 2356996},
      // A width outside 1 to 1023 bytes cannot be carried; it counts as none chosen.
      {8200, 9, -1, 8184, {0xFF, 0x03, 0x02, 0x00}, 16372},
      {8200, 9, 1024, 8184, {0xFF, 0x03, 0x02, 0x00}, 16372},
      {8200, 9, 1023, 8184, {0xFF, 0x03, 0x02, 0x00}, 16372},
      {20, 9, 1, 8, {0x01, 0x00, 0x02, 0x00}, 20},
  };
  std::filesystem::path written;
  std::pair<std::int32_t, std::int32_t> writtenSize{};
  for (const Case& k : cases) {
    SCOPED_TRACE(std::to_string(k.W) + "x" + std::to_string(k.H) + " widthBytes " +
                 std::to_string(k.widthBytes));
    if (writtenSize != std::make_pair(k.W, k.H)) {
      written = dir.Write("p.bmp", OneBitPicture(k.W, k.H, Pattern));
      writtenSize = {k.W, k.H};
    }
    const auto result = ConvertPictureFile(written, k.widthBytes);
    ASSERT_TRUE(result.record);
    EXPECT_EQ(result.record->size(), k.size);
    EXPECT_EQ(Bytes(result.record->data(), result.record->data() + 4), k.header);
    ExpectRecordOf(result, k.W, k.H, k.widthLimit, Pattern);
  }
}

// Rows past 2304 never reach the record, whichever way the rows are stored.
TEST(ConvertPictureFile, RowsBeyond2304AreDropped) {
  TempDir dir;
  auto onlyLastRowDark = [](std::int32_t, std::int32_t r) { return r == 2304; };
  auto rleFields = [&](const DarkAt& dark) {
    BmpFields f;
    f.width = 11;
    f.height = 2305;
    f.bitCount = 8;
    f.compression = 1;
    f.palette = {kWhite, kBlack};
    f.pixels = EncodeRle8(11, 2305, [&](std::int32_t c, std::int32_t r) {
      return static_cast<std::uint8_t>(dark(c, r) ? 1 : 0);
    });
    return BuildBmp(f);
  };
  struct Case {
    std::string name;
    Bytes file;
    DarkAt dark;
  };
  const Case cases[] = {
      {"bottom-up, last row dark", OneBitPicture(11, 2305, onlyLastRowDark), onlyLastRowDark},
      {"top-down, last row dark", OneBitPicture(11, 2305, onlyLastRowDark, true), onlyLastRowDark},
      {"rle8, last row dark", rleFields(onlyLastRowDark), onlyLastRowDark},
      {"bottom-up pattern", OneBitPicture(11, 2305, Pattern), Pattern},
      {"top-down pattern", OneBitPicture(11, 2305, Pattern, true), Pattern},
      {"rle8 pattern", rleFields(Pattern), Pattern},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const auto result = ConvertPictureFile(dir.Write("p.bmp", k.file), 0);
    ExpectRecordOf(result, 11, 2305, 8184, k.dark);
  }
}

TEST(ConvertPictureFile, ColoursThroughTheReader) {
  // One row of colours, each pixel its own column: column c's bit 7 is the dark test.
  struct Case {
    Colour colour;
    bool dark;
  };
  const Case cases[] = {
      {MakeColour(128, 128, 128), false}, {MakeColour(127, 127, 127), true},
      {MakeColour(255, 0, 0), true},      {MakeColour(0, 0, 255), true},
      {MakeColour(255, 0, 255), true},    {kBlack, true},
      {MakeColour(0, 255, 0), false},     {MakeColour(255, 255, 0), false},
      {MakeColour(0, 255, 255), false},   {kWhite, false},
      {MakeColour(0, 208, 48), false},    {MakeColour(0, 208, 47), true},
  };
  TempDir dir;
  BmpFields f;
  f.width = static_cast<std::int32_t>(std::size(cases));
  f.bitCount = 24;
  f.pixels = PackRows(f.width, 1, 24, false, [&](std::int32_t c, std::int32_t) {
    const Colour colour = cases[c].colour;
    return ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu);
  });
  const auto result = ConvertPictureFile(dir.Write("p.bmp", BuildBmp(f)), 0);
  ASSERT_TRUE(result.record);
  for (std::size_t c = 0; c < std::size(cases); ++c)
    EXPECT_EQ(result.record->data()[4 + c], cases[c].dark ? 0x80 : 0x00)
        << std::hex << cases[c].colour;
}

// The reader tests darkness straight from palette entries and pixel bytes; across many
// colours that must agree with IsDarkPixel exactly.
TEST(ConvertPictureFile, DarkTestAgreesWithIsDarkPixelInEveryEncoding) {
  std::vector<Colour> colours = {MakeColour(128, 128, 128), MakeColour(127, 127, 127),
                                 MakeColour(0, 208, 48),    MakeColour(0, 208, 47),
                                 MakeColour(53, 190, 0),    MakeColour(52, 190, 0),
                                 MakeColour(48, 145, 255),  MakeColour(47, 145, 255)};
  std::uint32_t state = 12345;
  while (colours.size() < 3000) {
    state = state * 1664525u + 1013904223u;
    colours.push_back(state >> 8);
  }
  TempDir dir;
  const auto w = static_cast<std::int32_t>(colours.size());
  for (std::uint16_t bitCount : {8, 24, 32}) {
    BmpFields f;
    f.width = w;
    f.bitCount = bitCount;
    std::vector<Colour> shown = colours;
    if (bitCount == 8) {
      f.palette.assign(colours.begin(), colours.begin() + 256);
      for (std::size_t c = 0; c < shown.size(); ++c)
        shown[c] = colours[c % 256];
    }
    f.pixels = PackRows(w, 1, bitCount, false, [&](std::int32_t c, std::int32_t) -> std::uint32_t {
      if (bitCount == 8) return static_cast<std::uint32_t>(c % 256);
      const Colour colour = colours[static_cast<std::size_t>(c)];
      return ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu) |
             0xAB000000u;  // a padding byte that must be ignored
    });
    const auto result = ConvertPictureFile(dir.Write("p.bmp", BuildBmp(f)), 0);
    ASSERT_TRUE(result.record) << bitCount;
    int wrong = 0;
    for (std::size_t c = 0; c < shown.size(); ++c)
      wrong += (result.record->data()[4 + c] == 0x80) != (IsDarkPixel(shown[c]) == 1);
    EXPECT_EQ(wrong, 0) << bitCount << "-bit";
  }
}

TEST(ConvertPictureFile, RefusalsGiveNoRecord) {
  TempDir dir;
  Bytes cut = UniformPicture(5, 5, kBlack);
  cut.resize(cut.size() - 4);
  struct Case {
    std::filesystem::path path;
    PictureError expected;
  };
  const Case cases[] = {
      {dir.path() / "missing.bmp", PictureError::kCannotOpen},
      {dir.Write("cut.bmp", cut), PictureError::kTruncated},
      {dir.Write("text.bmp", Bytes{'h', 'e', 'l', 'l', 'o'}), PictureError::kNotBmp},
  };
  for (const Case& k : cases) {
    const auto result = ConvertPictureFile(k.path, 72);
    EXPECT_FALSE(result.record) << k.path;
    EXPECT_EQ(result.error, k.expected) << k.path;
  }
}

// The GUI decodes pictures of other formats itself and feeds them through PixelSource.
// This stand-in for that decoder records what the conversion asks of it.
class ScriptedSource final : public PixelSource {
 public:
  ScriptedSource(std::int32_t width, std::int32_t height, DarkAt dark)
      : width_(width), height_(height), dark_(std::move(dark)) {}
  std::int32_t Width() const noexcept override { return width_; }
  std::int32_t Height() const noexcept override { return height_; }
  PictureError ReadRow(std::int32_t row, std::span<Colour> out) noexcept override {
    rowsAsked.push_back(row);
    widthsAsked.push_back(out.size());
    if (row == failAtRow) return PictureError::kDecodeFailed;
    for (std::size_t c = 0; c < out.size(); ++c)
      out[c] = dark_(static_cast<std::int32_t>(c), row) ? MakeColour(40, 40, 40)
                                                        : MakeColour(200, 220, 240);
    return PictureError::kNone;
  }
  std::vector<std::int32_t> rowsAsked;
  std::vector<std::size_t> widthsAsked;
  std::int32_t failAtRow = -1;

 private:
  std::int32_t width_, height_;
  DarkAt dark_;
};

TEST(ConvertPixels, AsksOnlyForTheCropRowsInOrder) {
  struct Case {
    std::int32_t W, H, widthBytes;
    std::size_t w;
    std::int32_t h;
  };
  const Case cases[] = {{600, 30, 72, 576, 30}, {13, 2400, 0, 13, 2304}, {9000, 5, 0, 8184, 5}};
  for (const Case& k : cases) {
    ScriptedSource source(k.W, k.H, Pattern);
    const auto result = ConvertPixels(source, k.widthBytes);
    ExpectRecordOf(result, k.W, k.H, static_cast<std::int32_t>(k.w), Pattern);
    std::vector<std::int32_t> expectedRows(static_cast<std::size_t>(k.h));
    for (std::int32_t r = 0; r < k.h; ++r)
      expectedRows[static_cast<std::size_t>(r)] = r;
    EXPECT_EQ(source.rowsAsked, expectedRows);
    EXPECT_TRUE(std::all_of(source.widthsAsked.begin(), source.widthsAsked.end(),
                            [&](std::size_t n) { return n == k.w; }));
  }
}

TEST(ConvertPixels, FailuresGiveNoRecord) {
  for (auto [w, h] :
       {std::pair{0, 5}, std::pair{5, 0}, std::pair{-3, 5}, std::pair{5, INT32_MIN}}) {
    ScriptedSource source(w, h, Pattern);
    const auto result = ConvertPixels(source, 72);
    EXPECT_FALSE(result.record);
    EXPECT_EQ(result.error, PictureError::kBadDimensions);
    EXPECT_TRUE(source.rowsAsked.empty());
  }
  ScriptedSource failing(20, 20, Pattern);
  failing.failAtRow = 13;
  const auto result = ConvertPixels(failing, 72);
  EXPECT_FALSE(result.record);
  EXPECT_EQ(result.error, PictureError::kDecodeFailed);
  EXPECT_EQ(failing.rowsAsked.back(), 13);
}

}  // namespace
}  // namespace quillmark::test
