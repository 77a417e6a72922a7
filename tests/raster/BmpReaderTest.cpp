#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "BmpTestFiles.h"
#include "raster/BmpReader.h"
#include "raster/NvImage.h"

namespace quillmark::test {
namespace {

constexpr Colour kBlack = MakeColour(0, 0, 0), kWhite = MakeColour(255, 255, 255),
                 kRed = MakeColour(255, 0, 0), kGreen = MakeColour(0, 255, 0),
                 kBlue = MakeColour(0, 0, 255), kYellow = MakeColour(255, 255, 0),
                 kCyan = MakeColour(0, 255, 255), kMagenta = MakeColour(255, 0, 255);

// Channels of 0 or 255 only, so every encoding (down to 1-bit masks) holds them exactly.
const std::vector<Colour> kColours = {kWhite, kBlack,  kRed,  kGreen,
                                      kBlue,  kYellow, kCyan, kMagenta};

std::uint8_t PatternIndex(std::int32_t c, std::int32_t r, int colours) {
  return static_cast<std::uint8_t>((c * 3 + r * 5 + (c * r) % 7 + (c / 4)) % colours);
}

// A direct-colour pixel under `masks` (red, green, blue) for a colour of 0/255 channels.
std::uint32_t PackWithMasks(Colour colour, const std::array<std::uint32_t, 3>& masks) {
  std::uint32_t v = 0;
  for (int i = 0; i < 3; ++i)
    if (((colour >> (8 * i)) & 0xFFu) == 0xFFu) v |= masks[static_cast<std::size_t>(i)];
  return v;
}

enum class Pixels { kIndexed, kDirect, kRle8, kRle4 };

struct FormatCase {
  std::string name;
  std::uint32_t headerSize;
  std::uint16_t bitCount;
  std::uint32_t compression;
  Pixels pixels;
  bool topDown = false;
  std::array<std::uint32_t, 3> masks{};  // direct colour: the masks the pixels are packed with
  enum { kNoMasks, kAfterHeader, kInHeader } maskPlace = kNoMasks;
  std::array<std::uint32_t, 4> headerMasks{};  // written into the header regardless
};

std::vector<FormatCase> FormatCases() {
  const std::array<std::uint32_t, 3> k555 = {0x7C00, 0x03E0, 0x001F};
  const std::array<std::uint32_t, 3> k565 = {0xF800, 0x07E0, 0x001F};
  const std::array<std::uint32_t, 3> k888 = {0xFF0000, 0xFF00, 0xFF};
  const std::array<std::uint32_t, 3> kBgrHigh = {0xFF00, 0xFF0000, 0xFF000000};
  const std::array<std::uint32_t, 3> k1010 = {0x3FF00000, 0x000FFC00, 0x000003FF};
  const std::array<std::uint32_t, 3> k444 = {0x0F00, 0x00F0, 0x000F};
  std::vector<FormatCase> cases = {
      {"v3 1-bit", 40, 1, 0, Pixels::kIndexed},
      {"v3 2-bit", 40, 2, 0, Pixels::kIndexed},
      {"v3 4-bit", 40, 4, 0, Pixels::kIndexed},
      {"v3 8-bit", 40, 8, 0, Pixels::kIndexed},
      {"v3 8-bit top-down", 40, 8, 0, Pixels::kIndexed, true},
      {"os2 1.x 1-bit", 12, 1, 0, Pixels::kIndexed},
      {"os2 1.x 4-bit", 12, 4, 0, Pixels::kIndexed},
      {"os2 1.x 8-bit", 12, 8, 0, Pixels::kIndexed},
      {"os2 1.x 24-bit", 12, 24, 0, Pixels::kDirect, false, k888},
      {"os2 2.x 16-byte 8-bit", 16, 8, 0, Pixels::kIndexed},
      {"os2 2.x 64-byte 4-bit", 64, 4, 0, Pixels::kIndexed},
      {"os2 2.x 64-byte rle8", 64, 8, 1, Pixels::kRle8},
      {"v3 rle8", 40, 8, 1, Pixels::kRle8},
      {"v3 rle4", 40, 4, 2, Pixels::kRle4},
      {"v5 rle4", 124, 4, 2, Pixels::kRle4},
      {"v3 16-bit default 5-5-5", 40, 16, 0, Pixels::kDirect, false, k555},
      {"v3 16-bit bitfields 5-6-5", 40, 16, 3, Pixels::kDirect, false, k565,
       FormatCase::kAfterHeader},
      {"v3 16-bit alphabitfields 4-4-4", 40, 16, 6, Pixels::kDirect, false, k444,
       FormatCase::kAfterHeader},
      {"v3 24-bit", 40, 24, 0, Pixels::kDirect, false, k888},
      {"v3 24-bit top-down", 40, 24, 0, Pixels::kDirect, true, k888},
      {"v3 32-bit default", 40, 32, 0, Pixels::kDirect, false, k888},
      {"v3 32-bit top-down", 40, 32, 0, Pixels::kDirect, true, k888},
      {"v3 32-bit bitfields high bytes", 40, 32, 3, Pixels::kDirect, false, kBgrHigh,
       FormatCase::kAfterHeader},
      {"52-byte 32-bit bitfields", 52, 32, 3, Pixels::kDirect, false, kBgrHigh,
       FormatCase::kInHeader},
      {"56-byte 16-bit bitfields", 56, 16, 3, Pixels::kDirect, false, k565, FormatCase::kInHeader},
      {"v4 16-bit bitfields 5-6-5", 108, 16, 3, Pixels::kDirect, true, k565, FormatCase::kInHeader},
      {"v5 32-bit bitfields 10-10-10", 124, 32, 3, Pixels::kDirect, false, k1010,
       FormatCase::kInHeader},
  };
  // Masks in the header of a BI_RGB picture mean nothing: the default layout applies.
  FormatCase ignored{
      "v5 32-bit rgb ignores header masks", 124, 32, 0, Pixels::kDirect, false, k888};
  ignored.headerMasks = {0xFF, 0xFF00, 0xFF0000, 0};
  cases.push_back(ignored);
  return cases;
}

TEST(BmpReader, EveryFormatDecodesToTheSameColours) {
  TempDir dir;
  // Odd sizes, so that rows of every bit depth need padding and runs cross byte edges.
  const std::int32_t w = 37, h = 11;
  for (const FormatCase& fc : FormatCases()) {
    SCOPED_TRACE(fc.name);
    const int colours = fc.bitCount < 8 ? std::min(8, 1 << fc.bitCount) : 8;
    const std::vector<Colour> palette(kColours.begin(), kColours.begin() + colours);
    auto index = [&](std::int32_t c, std::int32_t r) { return PatternIndex(c, r, colours); };

    BmpFields f;
    f.headerSize = fc.headerSize;
    f.width = w;
    f.height = fc.topDown ? -h : h;
    f.bitCount = fc.bitCount;
    f.compression = fc.compression;
    f.masksInHeader = fc.headerMasks;
    if (fc.maskPlace == FormatCase::kInHeader)
      f.masksInHeader = {fc.masks[0], fc.masks[1], fc.masks[2], 0};
    if (fc.maskPlace == FormatCase::kAfterHeader) {
      f.masksAfterHeader.assign(fc.masks.begin(), fc.masks.end());
      if (fc.compression == 6) f.masksAfterHeader.push_back(0);  // alpha
    }
    switch (fc.pixels) {
      case Pixels::kIndexed:
        f.palette = palette;
        f.pixels = PackRows(w, h, fc.bitCount, fc.topDown,
                            [&](std::int32_t c, std::int32_t r) { return index(c, r); });
        break;
      case Pixels::kDirect:
        f.pixels = PackRows(w, h, fc.bitCount, fc.topDown, [&](std::int32_t c, std::int32_t r) {
          return PackWithMasks(palette[index(c, r)], fc.masks);
        });
        break;
      case Pixels::kRle8:
        f.palette = palette;
        f.pixels = EncodeRle8(w, h, index);
        break;
      case Pixels::kRle4:
        f.palette = palette;
        f.pixels = EncodeRle4(w, h, index);
        break;
    }
    PictureError error = PictureError::kNone;
    const auto decoded = DecodeFile(dir.Write("p.bmp", BuildBmp(f)), &error);
    ASSERT_TRUE(decoded) << PictureErrorText(error);
    ASSERT_EQ(decoded->width, w);
    ASSERT_EQ(decoded->height, h);
    int wrong = 0;
    for (std::int32_t r = 0; r < h; ++r)
      for (std::int32_t c = 0; c < w; ++c)
        if (decoded->at(c, r) != palette[index(c, r)] && ++wrong <= 3)
          ADD_FAILURE() << "pixel " << c << "," << r << ": " << std::hex << decoded->at(c, r)
                        << " instead of " << palette[index(c, r)];

    // The conversion's own way through the reader (dark tests without colour values)
    // marks the same dots.
    const auto result = ConvertPictureFile(dir.path() / "p.bmp", 0);
    ASSERT_TRUE(result.record);
    const std::size_t y = (h + 7) / 8;
    for (std::int32_t r = 0; r < h; ++r)
      for (std::int32_t c = 0; c < w; ++c) {
        const std::size_t at =
            4 + static_cast<std::size_t>(c) * y + static_cast<std::size_t>(r / 8);
        const bool bit = (result.record->data()[at] >> (7 - r % 8)) & 1;
        if (bit != (IsDarkPixel(palette[index(c, r)]) == 1) && ++wrong <= 3)
          ADD_FAILURE() << "dot " << c << "," << r;
      }
  }
}

TEST(BmpReader, PartialRowsAndRowOrder) {
  // Reading fewer columns than the width gives those columns; rows come as displayed.
  TempDir dir;
  BmpFields f;
  f.width = 20;
  f.height = 5;
  f.bitCount = 24;
  f.pixels = PackRows(20, 5, 24, false, [](std::int32_t c, std::int32_t r) {
    return static_cast<std::uint32_t>(c * 10 + r);  // blue = c * 10 + r
  });
  const auto path = dir.Write("p.bmp", BuildBmp(f));
  PictureError error;
  auto file = FileByteSource::Open(path, error);
  ASSERT_TRUE(file);
  auto picture = BmpPicture::Open(*file, error);
  ASSERT_TRUE(picture);
  for (std::int32_t r : {4, 0, 2}) {
    std::vector<Colour> row(7);
    ASSERT_EQ(picture->ReadRow(r, row), PictureError::kNone);
    for (std::int32_t c = 0; c < 7; ++c)
      EXPECT_EQ(row[static_cast<std::size_t>(c)],
                MakeColour(0, 0, static_cast<std::uint8_t>(c * 10 + r)));
  }
  std::vector<Colour> tooWide(21);
  EXPECT_NE(picture->ReadRow(0, tooWide), PictureError::kNone);
  std::vector<Colour> row(20);
  EXPECT_NE(picture->ReadRow(5, row), PictureError::kNone);
  EXPECT_NE(picture->ReadRow(-1, row), PictureError::kNone);
}

// Channels of any width scale to 0-255 as round(v * 255 / max), for every value of
// channels up to 10 bits and a spread of values beyond.
TEST(BmpReader, ChannelsScaleExactly) {
  struct Case {
    std::uint16_t bitCount;
    std::array<std::uint32_t, 3> masks;
  };
  const Case cases[] = {
      {16, {0x7C00, 0x03E0, 0x001F}},
      {16, {0xF800, 0x07E0, 0x001F}},
      {16, {0x0030, 0x000E, 0x0001}},
      {16, {0x0038, 0xFFC0, 0x0007}},
      {32, {0xFFE00000, 0x001FFC00, 0x000003FF}},
      {32, {0xFE000000, 0x01FFFF80, 0x0000007F}},
      {32, {0x0000FF00, 0x0FFF0000, 0x000000FF}},
  };
  TempDir dir;
  for (const Case& k : cases) {
    for (std::size_t channel = 0; channel < 3; ++channel) {
      const std::uint32_t mask = k.masks[channel];
      std::uint32_t shift = 0;
      while (((mask >> shift) & 1u) == 0)
        ++shift;
      const std::uint64_t max = static_cast<std::uint64_t>(mask) >> shift;
      std::vector<std::uint64_t> values;
      if (max <= 1023) {
        for (std::uint64_t v = 0; v <= max; ++v)
          values.push_back(v);
      } else {
        for (std::uint64_t v :
             {std::uint64_t{0}, std::uint64_t{1}, max / 2, max / 2 + 1, max - 1, max})
          values.push_back(v);
        for (std::uint64_t v = 7; v < max; v += max / 97)
          values.push_back(v);
      }
      const auto w = static_cast<std::int32_t>(values.size());
      BmpFields f;
      f.width = w;
      f.bitCount = k.bitCount;
      f.compression = 3;
      f.masksAfterHeader.assign(k.masks.begin(), k.masks.end());
      f.pixels = PackRows(w, 1, k.bitCount, false, [&](std::int32_t c, std::int32_t) {
        return static_cast<std::uint32_t>(values[static_cast<std::size_t>(c)] << shift);
      });
      const auto decoded = DecodeFile(dir.Write("p.bmp", BuildBmp(f)));
      ASSERT_TRUE(decoded) << std::hex << mask;
      for (std::int32_t c = 0; c < w; ++c) {
        const std::uint64_t v = values[static_cast<std::size_t>(c)];
        const auto expected = static_cast<Colour>(
            std::lround(static_cast<double>(v) * 255.0 / static_cast<double>(max)));
        ASSERT_EQ(decoded->at(c, 0), expected << (8 * channel))
            << "mask " << std::hex << mask << " value " << std::dec << v;
      }
    }
  }
}

TEST(BmpReader, PaletteEdges) {
  TempDir dir;
  struct Case {
    std::string name;
    std::function<BmpFields()> make;
    std::vector<Colour> expected;  // colours of pixels 0..3 of the single row
  };
  auto base = [](std::uint32_t headerSize, std::vector<std::uint8_t> indices) {
    BmpFields f;
    f.headerSize = headerSize;
    f.width = static_cast<std::int32_t>(indices.size());
    f.bitCount = 8;
    f.pixels = PackRows(f.width, 1, 8, false, [indices](std::int32_t c, std::int32_t) {
      return std::uint32_t{indices[static_cast<std::size_t>(c)]};
    });
    return f;
  };
  const Case cases[] = {
      {"index beyond a declared short palette reads black",
       [&] {
         BmpFields f = base(40, {0, 1, 2, 255});
         f.palette = {kRed, kGreen, kBlue};
         f.clrUsed = 2;  // entry 2 is in the file but not in the palette
         return f;
       },
       {kRed, kGreen, kBlack, kBlack}},
      {"os2 palette cut short by the pixel offset",
       [&] {
         BmpFields f = base(12, {0, 1, 2, 3});
         f.palette = {kRed, kGreen, kBlue};  // 3 of the 256 entries a 1.x file implies
         return f;
       },
       {kRed, kGreen, kBlue, kBlack}},
      {"more entries than 8 bits index, all present",
       [&] {
         BmpFields f = base(40, {0, 1, 2, 255});
         f.palette.assign(300, kCyan);
         f.palette[0] = kRed;
         f.palette[255] = kYellow;
         f.palette[256] = kMagenta;
         f.clrUsed = 300;
         return f;
       },
       {kRed, kCyan, kCyan, kYellow}},
      {"clrUsed 0 means the full palette",
       [&] {
         BmpFields f = base(40, {0, 17, 200, 255});
         for (int i = 0; i < 256; ++i)
           f.palette.push_back(MakeColour(static_cast<std::uint8_t>(i), 0, 1));
         return f;
       },
       {MakeColour(0, 0, 1), MakeColour(17, 0, 1), MakeColour(200, 0, 1), MakeColour(255, 0, 1)}},
      {"gap between palette and pixels",
       [&] {
         BmpFields f = base(40, {1, 0, 1, 0});
         f.palette = {kRed, kGreen};
         f.clrUsed = 2;
         f.offBits = 14 + 40 + 8 + 100;
         return f;
       },
       {kGreen, kRed, kGreen, kRed}},
  };
  for (const Case& k : cases) {
    const auto decoded = DecodeFile(dir.Write("p.bmp", BuildBmp(k.make())));
    ASSERT_TRUE(decoded) << k.name;
    for (std::int32_t c = 0; c < 4; ++c)
      EXPECT_EQ(decoded->at(c, 0), k.expected[static_cast<std::size_t>(c)]) << k.name << " " << c;
  }
}

// Skipped pixels (delta moves, early end of line or bitmap) take palette colour 0, which
// here is not black, so a zero-filled buffer would show.
TEST(BmpReader, RleSkippedPixelsTakePaletteColourZero) {
  TempDir dir;
  const Colour p0 = kCyan, p1 = kRed, p2 = kBlue;
  // 6 x 4, stored bottom-up. Stored row 0: 2 pixels of 1, then a delta 2 right and 1 up;
  // stored row 1 from x = 4: 2 pixels of 2, end of line; stored row 2: 1 pixel of 1, end of
  // line; stored row 3: end of bitmap right away.
  const Bytes rle8 = {2, 1, 0, 2, 2, 1, 2, 2, 0, 0, 1, 1, 0, 0, 0, 1};
  const Bytes rle4 = {2, 0x11, 0, 2, 2, 1, 2, 0x22, 0, 0, 1, 0x10, 0, 0, 0, 1};
  const std::vector<Colour> expected = {
      p0, p0, p0, p0, p0, p0,  // stored row 3
      p1, p0, p0, p0, p0, p0,  // stored row 2
      p0, p0, p0, p0, p2, p2,  // stored row 1
      p1, p1, p0, p0, p0, p0,  // stored row 0
  };
  for (bool four : {false, true}) {
    BmpFields f;
    f.width = 6;
    f.height = 4;
    f.bitCount = four ? 4 : 8;
    f.compression = four ? 2 : 1;
    f.palette = {p0, p1, p2};
    f.pixels = four ? rle4 : rle8;
    const auto decoded = DecodeFile(dir.Write("p.bmp", BuildBmp(f)));
    ASSERT_TRUE(decoded) << four;
    EXPECT_EQ(decoded->pixels, expected) << (four ? "rle4" : "rle8");
  }
}

TEST(BmpReader, LenientWhereEveryPixelIsThere) {
  TempDir dir;
  struct Case {
    std::string name;
    std::function<Bytes()> make;
  };
  auto rle = [] {
    BmpFields f;
    f.width = 3;
    f.height = 2;
    f.bitCount = 8;
    f.compression = 1;
    f.palette = {kRed, kBlue};
    return f;
  };
  const Case cases[] = {
      {"last row without its padding",
       [] {
         BmpFields f;
         f.width = 3;
         f.height = 2;
         f.pixels = PackRows(3, 2, 24, false, [](std::int32_t, std::int32_t) { return 0u; });
         Bytes bytes = BuildBmp(f);
         bytes.resize(bytes.size() - 3);
         return bytes;
       }},
      {"rle without end of bitmap after the last row",
       [&] {
         BmpFields f = rle();
         f.pixels = {3, 1, 0, 0, 3, 0, 0, 0};
         return BuildBmp(f);
       }},
      {"rle whose last row ends the file",
       [&] {
         BmpFields f = rle();
         f.pixels = {3, 1, 0, 0, 3, 0};
         return BuildBmp(f);
       }},
      {"size fields claiming gigabytes",
       [] {
         BmpFields f;
         f.pixels = {0, 0, 0, 0};
         Bytes bytes = BuildBmp(f);
         for (std::size_t at : {2u, 34u})
           bytes[at + 3] = 0xF0;  // bfSize, biSizeImage
         return bytes;
       }},
  };
  for (const Case& k : cases) {
    PictureError error = PictureError::kNone;
    EXPECT_TRUE(DecodeFile(dir.Write("p.bmp", k.make()), &error))
        << k.name << ": " << PictureErrorText(error);
  }
}

TEST(BmpReader, RefusesMalformedFiles) {
  TempDir dir;
  // A valid 4 x 3 8-bit picture; each case breaks one thing.
  auto valid = [] {
    BmpFields f;
    f.width = 4;
    f.height = 3;
    f.bitCount = 8;
    f.palette = {kRed, kGreen, kBlue, kWhite};
    f.pixels = PackRows(4, 3, 8, false,
                        [](std::int32_t c, std::int32_t) { return static_cast<std::uint32_t>(c); });
    return f;
  };
  auto rle = [](std::uint16_t bitCount, Bytes stream) {
    BmpFields f;
    f.width = 4;
    f.height = 3;
    f.bitCount = bitCount;
    f.compression = bitCount == 8 ? 1 : 2;
    f.palette = {kRed, kGreen};
    f.pixels = std::move(stream);
    return BuildBmp(f);
  };
  auto with = [&](const std::function<void(BmpFields&)>& change) {
    BmpFields f = valid();
    change(f);
    return BuildBmp(f);
  };
  auto direct = [](std::uint16_t bitCount, std::uint32_t compression,
                   std::vector<std::uint32_t> masks) {
    BmpFields f;
    f.width = 2;
    f.height = 2;
    f.bitCount = bitCount;
    f.compression = compression;
    f.masksAfterHeader = std::move(masks);
    f.pixels = PackRows(2, 2, bitCount, false, [](std::int32_t, std::int32_t) { return 1u; });
    return BuildBmp(f);
  };
  struct Case {
    std::string name;
    Bytes bytes;
    PictureError expected;
  };
  const Bytes good = BuildBmp(valid());
  const std::vector<Case> cases = {
      {"empty file", {}, PictureError::kNotBmp},
      {"other signature",
       [&] {
         Bytes b = good;
         b[1] = 'A';
         return b;
       }(),
       PictureError::kNotBmp},
      {"cut inside the file header", Bytes(good.begin(), good.begin() + 10),
       PictureError::kTruncated},
      {"cut inside the info header", Bytes(good.begin(), good.begin() + 40),
       PictureError::kTruncated},
      {"cut inside the pixels", Bytes(good.begin(), good.end() - 5), PictureError::kTruncated},
      {"header size 66", with([](BmpFields& f) { f.headerSize = 66; }),
       PictureError::kBadHeaderSize},
      {"width 0", with([](BmpFields& f) { f.width = 0; }), PictureError::kBadDimensions},
      {"negative width", with([](BmpFields& f) { f.width = -4; }), PictureError::kBadDimensions},
      {"height 0", with([](BmpFields& f) { f.height = 0; }), PictureError::kBadDimensions},
      {"height INT32_MIN", with([](BmpFields& f) { f.height = INT32_MIN; }),
       PictureError::kBadDimensions},
      {"os2 1.x width 0", with([](BmpFields& f) {
         f.headerSize = 12;
         f.width = 0;
       }),
       PictureError::kBadDimensions},
      {"os2 2.x top-down", with([](BmpFields& f) {
         f.headerSize = 64;
         f.height = -3;
       }),
       PictureError::kBadDimensions},
      {"planes 2", with([](BmpFields& f) { f.planes = 2; }), PictureError::kBadPlanes},
      {"planes 0", with([](BmpFields& f) { f.planes = 0; }), PictureError::kBadPlanes},
      {"bit count 3", with([](BmpFields& f) { f.bitCount = 3; }), PictureError::kBadBitCount},
      {"bit count 64", with([](BmpFields& f) { f.bitCount = 64; }), PictureError::kBadBitCount},
      {"os2 1.x 16-bit", with([](BmpFields& f) {
         f.headerSize = 12;
         f.bitCount = 16;
       }),
       PictureError::kBadBitCount},
      {"embedded jpeg", with([](BmpFields& f) {
         f.compression = 4;
         f.bitCount = 0;
       }),
       PictureError::kUnsupportedCompression},
      {"embedded png", with([](BmpFields& f) {
         f.compression = 5;
         f.bitCount = 0;
       }),
       PictureError::kUnsupportedCompression},
      {"unknown compression", with([](BmpFields& f) { f.compression = 9; }),
       PictureError::kUnsupportedCompression},
      {"os2 huffman", with([](BmpFields& f) {
         f.headerSize = 64;
         f.compression = 3;
         f.bitCount = 1;
       }),
       PictureError::kUnsupportedCompression},
      {"os2 rle24", with([](BmpFields& f) {
         f.headerSize = 64;
         f.compression = 4;
         f.bitCount = 24;
       }),
       PictureError::kUnsupportedCompression},
      {"rle8 at 4 bits", with([](BmpFields& f) {
         f.compression = 1;
         f.bitCount = 4;
       }),
       PictureError::kBadCompression},
      {"rle4 at 8 bits", with([](BmpFields& f) { f.compression = 2; }),
       PictureError::kBadCompression},
      {"bitfields at 24 bits", direct(24, 3, {0xFF0000, 0xFF00, 0xFF}),
       PictureError::kBadCompression},
      {"empty blue mask", direct(16, 3, {0xFF00, 0x00FF, 0}), PictureError::kBadMasks},
      {"overlapping masks", direct(16, 3, {0xF800, 0x0FE0, 0x001F}), PictureError::kBadMasks},
      {"mask with a hole", direct(32, 3, {0xFF0000, 0xF0F0, 0xFF}), PictureError::kBadMasks},
      {"16-bit mask beyond 16 bits", direct(16, 3, {0x1F0000, 0x07E0, 0x001F}),
       PictureError::kBadMasks},
      {"no palette at all", with([](BmpFields& f) { f.palette.clear(); }),
       PictureError::kBadPalette},
      {"clrUsed far beyond the file", with([](BmpFields& f) { f.clrUsed = 305402420; }),
       PictureError::kBadPalette},
      {"clrUsed 300 with 256 entries", with([](BmpFields& f) {
         f.palette.assign(256, kRed);
         f.clrUsed = 300;
       }),
       PictureError::kBadPalette},
      {"pixel offset inside the header", with([](BmpFields& f) {
         f.palette.clear();
         f.offBits = 20;
       }),
       PictureError::kBadOffset},
      {"pixel offset past the end",
       [&] {
         Bytes b = good;
         b[11] = 0x7F;
         return b;
       }(),
       PictureError::kTruncated},
      {"claims 3000000 x 2000000", with([](BmpFields& f) {
         f.width = 3000000;
         f.height = 2000000;
       }),
       PictureError::kTruncated},
      {"claims 2^31-1 x 2^31-1 at 32 bits",
       [] {
         BmpFields f;
         f.width = INT32_MAX;
         f.height = INT32_MAX;
         f.bitCount = 32;
         f.pixels = {1, 2, 3, 4};
         return BuildBmp(f);
       }(),
       PictureError::kTruncated},
      {"rle top-down",
       [&] {
         BmpFields f;
         f.width = 4;
         f.height = -3;
         f.bitCount = 8;
         f.compression = 1;
         f.palette = {kRed};
         f.pixels = {4, 0, 0, 1};
         return BuildBmp(f);
       }(),
       PictureError::kBadDimensions},
      {"rle8 run past the row end", rle(8, {5, 1, 0, 1}), PictureError::kBadRle},
      {"rle8 runs adding up past the row end", rle(8, {3, 1, 2, 1, 0, 1}), PictureError::kBadRle},
      {"rle8 literal past the row end", rle(8, {0, 5, 1, 1, 1, 1, 1, 0, 0, 1}),
       PictureError::kBadRle},
      {"rle4 run past the row end", rle(4, {5, 0x11, 0, 1}), PictureError::kBadRle},
      {"rle delta past the right edge", rle(8, {2, 1, 0, 2, 3, 0, 0, 1}), PictureError::kBadRle},
      {"rle delta past the top", rle(8, {0, 2, 0, 3, 0, 1}), PictureError::kBadRle},
      {"rle pixels after the last row", rle(8, {0, 0, 0, 0, 0, 0, 4, 1, 0, 0, 1, 1}),
       PictureError::kBadRle},
      {"rle stream ends mid-picture", rle(8, {4, 1, 0, 0}), PictureError::kTruncated},
      {"rle literal cut short", rle(8, {0, 4, 1, 1}), PictureError::kTruncated},
      {"rle delta cut short", rle(8, {0, 2, 1}), PictureError::kTruncated},
  };
  for (const Case& k : cases) {
    PictureError error = PictureError::kNone;
    EXPECT_FALSE(DecodeFile(dir.Write("bad.bmp", k.bytes), &error)) << k.name;
    EXPECT_EQ(error, k.expected) << k.name << ": " << PictureErrorText(error);
  }
}

TEST(BmpReader, FilesThatCannotBeOpened) {
  TempDir dir;
  PictureError error = PictureError::kNone;
  EXPECT_FALSE(DecodeFile(dir.path() / "missing.bmp", &error));
  EXPECT_EQ(error, PictureError::kCannotOpen);
  EXPECT_FALSE(DecodeFile(dir.path(), &error));  // a folder
  EXPECT_EQ(error, PictureError::kCannotOpen);
}

}  // namespace
}  // namespace quillmark::test
