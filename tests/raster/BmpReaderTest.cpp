#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "BmpTestFiles.h"
#include "raster/NvImage.h"

namespace quillmark::test {
namespace {

constexpr Colour kBlack = MakeColour(0, 0, 0), kWhite = MakeColour(255, 255, 255),
                 kRed = MakeColour(255, 0, 0), kGreen = MakeColour(0, 255, 0),
                 kBlue = MakeColour(0, 0, 255), kCyan = MakeColour(0, 255, 255);
// Channels of 0 or 255 only, so every encoding down to 1-bit masks holds them exactly.
const std::vector<Colour> kColours = {
    kWhite, kBlack, kRed, kGreen, kBlue, MakeColour(255, 255, 0), kCyan, MakeColour(255, 0, 255)};

using Masks = std::array<std::uint32_t, 3>;
constexpr Masks k555 = {0x7C00, 0x03E0, 0x001F}, k565 = {0xF800, 0x07E0, 0x001F},
                k444 = {0x0F00, 0x00F0, 0x000F}, k888 = {0xFF0000, 0xFF00, 0xFF},
                kHigh = {0xFF00, 0xFF0000, 0xFF000000}, k1010 = {0x3FF00000, 0xFFC00, 0x3FF};

TEST(BmpReader, EveryFormatDecodesToTheSameColours) {
  enum Kind { kPalette, kDirect, kRle };
  enum MaskPlace { kNone, kAfter, kInside };
  struct Case {
    const char* name;
    std::uint32_t headerSize;
    std::uint16_t bitCount;
    std::uint32_t compression;
    Kind kind;
    bool topDown = false;
    Masks masks = {};
    MaskPlace place = kNone;
  };
  // clang-format off
  const Case cases[] = {
      {"v3 1-bit", 40, 1, 0, kPalette}, {"v3 2-bit", 40, 2, 0, kPalette},
      {"v3 4-bit", 40, 4, 0, kPalette}, {"v3 8-bit", 40, 8, 0, kPalette},
      {"v3 8-bit top-down", 40, 8, 0, kPalette, true},
      {"os2 1.x 1-bit", 12, 1, 0, kPalette}, {"os2 1.x 8-bit", 12, 8, 0, kPalette},
      {"os2 1.x 24-bit", 12, 24, 0, kDirect, false, k888},
      {"os2 2.x 16-byte 8-bit", 16, 8, 0, kPalette}, {"os2 2.x 64-byte 4-bit", 64, 4, 0, kPalette},
      {"os2 2.x rle8", 64, 8, 1, kRle}, {"v3 rle8", 40, 8, 1, kRle}, {"v3 rle4", 40, 4, 2, kRle},
      {"v5 rle4", 124, 4, 2, kRle},
      {"v3 16-bit 5-5-5", 40, 16, 0, kDirect, false, k555},
      {"v3 bitfields 5-6-5", 40, 16, 3, kDirect, false, k565, kAfter},
      {"v3 alphabitfields 4-4-4", 40, 16, 6, kDirect, false, k444, kAfter},
      {"v3 24-bit", 40, 24, 0, kDirect, false, k888},
      {"v3 24-bit top-down", 40, 24, 0, kDirect, true, k888},
      {"v3 32-bit top-down", 40, 32, 0, kDirect, true, k888},
      {"v3 bitfields high bytes", 40, 32, 3, kDirect, false, kHigh, kAfter},
      {"52-byte bitfields", 52, 32, 3, kDirect, false, kHigh, kInside},
      {"56-byte bitfields", 56, 16, 3, kDirect, false, k565, kInside},
      {"v4 bitfields top-down", 108, 16, 3, kDirect, true, k565, kInside},
      {"v5 bitfields 10-10-10", 124, 32, 3, kDirect, false, k1010, kInside},
  };
  // clang-format on
  TempDir dir;
  const std::int32_t w = 37, h = 11;  // odd: rows of every depth need padding
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const auto colours = static_cast<std::uint32_t>(k.bitCount < 3 ? 1 << k.bitCount : 8);
    auto index = [&](std::int32_t c, std::int32_t r) {
      return static_cast<std::uint32_t>(c * 3 + r * 5 + (c * r) % 7 + c / 4) % colours;
    };
    auto packed = [&](std::int32_t c, std::int32_t r) {
      std::uint32_t v = 0;
      for (std::size_t i = 0; i < 3; ++i)
        if ((kColours[index(c, r)] >> (8 * i)) & 1) v |= k.masks[i];
      return v;
    };
    BmpFields f = Fields(w, k.topDown ? -h : h, k.bitCount, k.compression, {}, k.headerSize);
    if (k.place == kInside) f.masksInHeader = {k.masks[0], k.masks[1], k.masks[2], 0};
    if (k.place == kAfter) f.masksAfterHeader.assign(k.masks.begin(), k.masks.end());
    if (k.compression == 6) f.masksAfterHeader.push_back(0);  // alpha
    if (k.kind != kDirect) f.palette.assign(kColours.begin(), kColours.begin() + colours);
    f.pixels = k.kind == kRle      ? EncodeRle(w, h, k.bitCount == 4, index)
               : k.kind == kDirect ? PackRows(w, h, k.bitCount, k.topDown, packed)
                                   : PackRows(w, h, k.bitCount, k.topDown, index);
    PictureError error = PictureError::kNone;
    const auto decoded = DecodeFile(dir.Write("p.bmp", BuildBmp(f)), &error);
    ASSERT_TRUE(decoded) << PictureErrorText(error);
    ASSERT_EQ(decoded->width, w);
    ASSERT_EQ(decoded->height, h);
    // The conversion tests darkness without colour values; it must mark the same dots.
    const auto result = ConvertPictureFile(dir.path() / "p.bmp", 0);
    ASSERT_TRUE(result.record);
    int wrong = 0;
    for (std::int32_t r = 0; r < h; ++r)
      for (std::int32_t c = 0; c < w; ++c)
        wrong += decoded->at(c, r) != kColours[index(c, r)] ||
                 DotAt(result.record->bytes(), c, r) != (IsDarkPixel(kColours[index(c, r)]) == 1);
    EXPECT_EQ(wrong, 0);
  }
}

// Channels of any width scale to 0-255 as round(v * 255 / max): every value of channels
// up to 10 bits, a spread of values beyond.
TEST(BmpReader, ChannelsScaleExactly) {
  const std::pair<std::uint16_t, Masks> cases[] = {{16, k555},
                                                   {16, k565},
                                                   {16, {0x30, 0x0E, 0x01}},
                                                   {16, {0x38, 0xFFC0, 0x07}},
                                                   {32, k1010},
                                                   {32, {0xFE000000, 0x01FFFF80, 0x7F}},
                                                   {32, {0xFF00, 0x0FFF0000, 0xFF}}};
  TempDir dir;
  for (const auto& [bitCount, masks] : cases) {
    for (std::size_t channel = 0; channel < 3; ++channel) {
      std::uint32_t shift = 0;
      while (((masks[channel] >> shift) & 1u) == 0)
        ++shift;
      const std::uint64_t max = std::uint64_t{masks[channel]} >> shift;
      std::vector<std::uint64_t> values = {0, 1, max / 2, max / 2 + 1, max - 1, max};
      for (std::uint64_t v = 2; v < max; v += max <= 1023 ? 1 : max / 97)
        values.push_back(v);
      const auto w = static_cast<std::int32_t>(values.size());
      BmpFields f = Fields(w, 1, bitCount, 3);
      f.masksAfterHeader.assign(masks.begin(), masks.end());
      f.pixels = PackRows(w, 1, bitCount, false, [&](std::int32_t c, std::int32_t) {
        return static_cast<std::uint32_t>(values[static_cast<std::size_t>(c)] << shift);
      });
      const auto decoded = DecodeFile(dir.Write("p.bmp", BuildBmp(f)));
      ASSERT_TRUE(decoded);
      for (std::int32_t c = 0; c < w; ++c) {
        const double v = static_cast<double>(values[static_cast<std::size_t>(c)]);
        const auto expected =
            static_cast<Colour>(std::lround(v * 255.0 / static_cast<double>(max)));
        ASSERT_EQ(decoded->at(c, 0), expected << (8 * channel))
            << std::hex << masks[channel] << " " << v;
      }
    }
  }
}

TEST(BmpReader, PaletteEdges) {
  auto picture = [](std::uint32_t headerSize, std::vector<Colour> palette, std::uint32_t clrUsed) {
    BmpFields f = Fields(4, 1, 8, 0, std::move(palette), headerSize);
    f.clrUsed = clrUsed;
    f.pixels = {0, 1, 2, 255};
    return f;
  };
  BmpFields gap = picture(40, {kRed, kGreen, kBlue}, 3);
  gap.offBits = 14 + 40 + 12 + 100;
  std::vector<Colour> big(300, kCyan);
  big[255] = kWhite;
  struct Case {
    const char* name;
    BmpFields fields;
    std::vector<Colour> expected;
  };
  const Case cases[] = {
      {"index beyond a declared short palette reads black",
       picture(40, {kRed, kGreen, kBlue}, 2),
       {kRed, kGreen, kBlack, kBlack}},
      {"os2 palette cut short by the pixel offset",
       picture(12, {kRed, kGreen, kBlue}, 0),
       {kRed, kGreen, kBlue, kBlack}},
      {"more entries than 8 bits index, all present",
       picture(40, big, 300),
       {kCyan, kCyan, kCyan, kWhite}},
      {"gap between palette and pixels", gap, {kRed, kGreen, kBlue, kBlack}},
  };
  TempDir dir;
  for (const Case& k : cases) {
    const auto decoded = DecodeFile(dir.Write("p.bmp", BuildBmp(k.fields)));
    ASSERT_TRUE(decoded) << k.name;
    EXPECT_EQ(decoded->pixels, k.expected) << k.name;
  }
}

// Skipped pixels (delta moves, early end of line or bitmap) take palette colour 0, which
// here is not black, so a zero-filled buffer would show. Literals of odd length need
// padding to a 16-bit word.
TEST(BmpReader, RleSkipsLiteralsAndPadding) {
  const Colour p0 = kCyan, p1 = kRed, p2 = kBlue;
  // 6 x 4, bottom-up. Stored row 0: 2 pixels of 1, then a delta 2 right and 1 up; row 1
  // from x = 4: 2 pixels of 2, end of line; row 2: a literal 1 2 1, end of line; row 3:
  // end of bitmap right away.
  const Bytes rle8 = {2, 1, 0, 2, 2, 1, 2, 2, 0, 0, 0, 3, 1, 2, 1, 0, 0, 0, 0, 1};
  const Bytes rle4 = {2, 0x11, 0, 2, 2, 1, 2, 0x22, 0, 0, 0, 3, 0x12, 0x10, 0, 0, 0, 1};
  const std::vector<Colour> expected = {p0, p0, p0, p0, p0, p0, p1, p2, p1, p0, p0, p0,
                                        p0, p0, p0, p0, p2, p2, p1, p1, p0, p0, p0, p0};
  TempDir dir;
  for (bool four : {false, true}) {
    BmpFields f = Fields(6, 4, four ? 4 : 8, four ? 2u : 1u, {p0, p1, p2});
    f.pixels = four ? rle4 : rle8;
    const auto decoded = DecodeFile(dir.Write("p.bmp", BuildBmp(f)));
    ASSERT_TRUE(decoded) << four;
    EXPECT_EQ(decoded->pixels, expected) << (four ? "rle4" : "rle8");
  }
}

TEST(BmpReader, AcceptsWhereEveryPixelIsThere) {
  BmpFields unpadded = Fields(3, 2, 24);
  unpadded.pixels = Bytes(12 + 9, 0);  // the last row lacks its 3 bytes of padding
  BmpFields noEnd = Fields(3, 2, 8, 1, {kRed, kBlue});
  noEnd.pixels = {3, 1, 0, 0, 3, 0, 0, 0};  // no end of bitmap
  BmpFields lastRowEnds = noEnd;
  lastRowEnds.pixels = {3, 1, 0, 0, 3, 0};  // not even the last end of line
  BmpFields wrongSizes = Fields(1, 1, 24);
  wrongSizes.pixels = {0, 0, 0, 0};
  Bytes claims = BuildBmp(wrongSizes);
  claims[5] = claims[37] = 0xF0;  // bfSize and biSizeImage claim gigabytes
  TempDir dir;
  for (const Bytes& bytes : {BuildBmp(unpadded), BuildBmp(noEnd), BuildBmp(lastRowEnds), claims}) {
    PictureError error = PictureError::kNone;
    EXPECT_TRUE(DecodeFile(dir.Write("p.bmp", bytes), &error)) << PictureErrorText(error);
  }
}

TEST(BmpReader, RefusesMalformedFiles) {
  // A valid 4 x 3 8-bit picture; each case breaks one thing.
  const BmpFields valid = [] {
    BmpFields f = Fields(4, 3, 8, 0, {kRed, kGreen, kBlue, kWhite});
    f.pixels = Bytes(12, 1);
    return f;
  }();
  auto with = [&](const std::function<void(BmpFields&)>& change) {
    BmpFields f = valid;
    change(f);
    return BuildBmp(f);
  };
  auto rle = [](std::uint16_t bitCount, Bytes stream) {
    BmpFields f = Fields(4, 3, bitCount, bitCount == 8 ? 1u : 2u, {kRed, kGreen});
    f.pixels = std::move(stream);
    return BuildBmp(f);
  };
  auto masks = [](std::uint16_t bitCount, std::vector<std::uint32_t> m) {
    BmpFields f = Fields(2, 2, bitCount, 3);
    f.masksAfterHeader = std::move(m);
    f.pixels = Bytes(16, 1);
    return BuildBmp(f);
  };
  const Bytes good = BuildBmp(valid);
  auto cut = [&](std::size_t size) {
    return Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
  };
  using E = PictureError;
  // clang-format off
  const std::vector<std::tuple<const char*, Bytes, PictureError>> cases = {
      {"empty file", {}, E::kNotBmp},
      {"other signature", [&] { Bytes b = good; b[1] = 'A'; return b; }(), E::kNotBmp},
      {"cut inside the file header", cut(10), E::kTruncated},
      {"cut inside the info header", cut(40), E::kTruncated},
      {"cut inside the pixels", cut(good.size() - 5), E::kTruncated},
      {"header size 66", with([](BmpFields& f) { f.headerSize = 66; }), E::kBadHeaderSize},
      {"width 0", with([](BmpFields& f) { f.width = 0; }), E::kBadDimensions},
      {"negative width", with([](BmpFields& f) { f.width = -4; }), E::kBadDimensions},
      {"height 0", with([](BmpFields& f) { f.height = 0; }), E::kBadDimensions},
      {"height INT32_MIN", with([](BmpFields& f) { f.height = INT32_MIN; }), E::kBadDimensions},
      {"os2 2.x top-down", with([](BmpFields& f) { f.headerSize = 64; f.height = -3; }), E::kBadDimensions},
      {"rle top-down", with([](BmpFields& f) { f.compression = 1; f.height = -3; }), E::kBadDimensions},
      {"planes 2", with([](BmpFields& f) { f.planes = 2; }), E::kBadPlanes},
      {"bit count 3", with([](BmpFields& f) { f.bitCount = 3; }), E::kBadBitCount},
      {"bit count 64", with([](BmpFields& f) { f.bitCount = 64; }), E::kBadBitCount},
      {"os2 1.x 16-bit", with([](BmpFields& f) { f.headerSize = 12; f.bitCount = 16; }), E::kBadBitCount},
      {"embedded jpeg", with([](BmpFields& f) { f.compression = 4; f.bitCount = 0; }), E::kUnsupportedCompression},
      {"embedded png", with([](BmpFields& f) { f.compression = 5; f.bitCount = 0; }), E::kUnsupportedCompression},
      {"os2 huffman", with([](BmpFields& f) { f.headerSize = 64; f.compression = 3; f.bitCount = 1; }), E::kUnsupportedCompression},
      {"os2 rle24", with([](BmpFields& f) { f.headerSize = 64; f.compression = 4; f.bitCount = 24; }), E::kUnsupportedCompression},
      {"rle8 at 4 bits", with([](BmpFields& f) { f.compression = 1; f.bitCount = 4; }), E::kBadCompression},
      {"rle4 at 8 bits", with([](BmpFields& f) { f.compression = 2; }), E::kBadCompression},
      {"bitfields at 24 bits", masks(24, {0xFF0000, 0xFF00, 0xFF}), E::kBadCompression},
      {"empty blue mask", masks(16, {0xFF00, 0xFF, 0}), E::kBadMasks},
      {"overlapping masks", masks(16, {0xF800, 0x0FE0, 0x1F}), E::kBadMasks},
      {"mask with a hole", masks(32, {0xFF0000, 0xF0F0, 0xFF}), E::kBadMasks},
      {"16-bit mask beyond 16 bits", masks(16, {0x1F0000, 0x07E0, 0x1F}), E::kBadMasks},
      {"no palette at all", with([](BmpFields& f) { f.palette.clear(); }), E::kBadPalette},
      {"clrUsed far beyond the file", with([](BmpFields& f) { f.clrUsed = 305402420; }), E::kBadPalette},
      {"clrUsed 300 with 256 entries", with([](BmpFields& f) { f.palette.assign(256, kRed); f.clrUsed = 300; }), E::kBadPalette},
      {"pixel offset inside the header", with([](BmpFields& f) { f.offBits = 20; }), E::kBadOffset},
      {"pixel offset past the end", [&] { Bytes b = good; b[12] = 0x7F; return b; }(), E::kTruncated},
      {"claims 3000000 x 2000000", with([](BmpFields& f) { f.width = 3000000; f.height = 2000000; }), E::kTruncated},
      {"claims 2^31-1 squared at 32 bits", with([](BmpFields& f) { f.width = f.height = INT32_MAX; f.bitCount = 32; }), E::kTruncated},
      {"rle8 run past the row end", rle(8, {5, 1, 0, 1}), E::kBadRle},
      {"rle8 runs adding up past the row end", rle(8, {3, 1, 2, 1, 0, 1}), E::kBadRle},
      {"rle8 literal past the row end", rle(8, {0, 5, 1, 1, 1, 1, 1, 0, 0, 1}), E::kBadRle},
      {"rle4 run past the row end", rle(4, {5, 0x11, 0, 1}), E::kBadRle},
      {"rle delta past the right edge", rle(8, {2, 1, 0, 2, 3, 0, 0, 1}), E::kBadRle},
      {"rle delta past the top", rle(8, {0, 2, 0, 3, 0, 1}), E::kBadRle},
      {"rle pixels after the last row", rle(8, {0, 0, 0, 0, 0, 0, 4, 1, 0, 1}), E::kBadRle},
      {"rle stream ends mid-picture", rle(8, {4, 1, 0, 0}), E::kTruncated},
      {"rle literal cut short", rle(8, {0, 4, 1, 1}), E::kTruncated},
      {"rle delta cut short", rle(8, {0, 2, 1}), E::kTruncated},
  };
  // clang-format on
  TempDir dir;
  for (const auto& [name, bytes, expected] : cases) {
    PictureError error = PictureError::kNone;
    EXPECT_FALSE(DecodeFile(dir.Write("bad.bmp", bytes), &error)) << name;
    EXPECT_EQ(error, expected) << name << ": " << PictureErrorText(error);
  }
}

}  // namespace
}  // namespace quillmark::test
