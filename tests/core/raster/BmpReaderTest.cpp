#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <bit>
#include <climits>
#include <cmath>
#include <vector>

#include "raster/NvImage.h"
#include "support/BmpTestFiles.h"

namespace quillmark::test {
namespace {

constexpr Colour K = MakeColour(0, 0, 0), W = MakeColour(255, 255, 255), R = MakeColour(255, 0, 0),
                 G = MakeColour(0, 255, 0), B = MakeColour(0, 0, 255);
// Palette colours and 0xRRGGBB pixels either side of the dark threshold, each weight in play.
const Colour kPalette[] = {W, K, MakeColour(128, 128, 128), MakeColour(127, 127, 127), R, G, B};
const std::uint32_t kEdges[] = {0x808080, 0x7F7F7F, 0x00D030, 0x00D02F,
                                0x35BE00, 0x34BE00, 0x3091FF, 0x2F91FF};

using Masks = std::array<std::uint32_t, 3>;  // red, green, blue
constexpr Masks k555 = {0x7C00, 0x03E0, 0x001F}, k565 = {0xF800, 0x07E0, 0x001F},
                k888 = {0xFF0000, 0xFF00, 0xFF};

// A 16- or 32-bit pixel's colour: each channel scaled to 0-255 as round(v * 255 / max).
Colour Scaled(std::uint32_t pixel, const Masks& masks) {
  Colour colour = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const int shift = std::countr_zero(masks[i]);
    const double v = (pixel & masks[i]) >> shift, max = masks[i] >> shift;
    colour |= static_cast<Colour>(std::lround(v * 255.0 / max)) << (8 * i);
  }
  return colour;
}

// Every accepted header size, bit count and compression; masks of many channel widths over
// pixels of any value. The dots IsDarkPixel rates dark, both from the file (palette entries
// and pixel bytes tested directly) and from the decoded colours (the generic path).
TEST(BmpReader, EveryFormatDecodesToTheRightColours) {
  struct Case {
    std::uint32_t headerSize, bitCount, compression;
    bool topDown = false;
    Masks masks = {};  // 16 and 32 bits; BITFIELDS in a header of 52 bytes or more, else after
  };
  // clang-format off
  const Case cases[] = {
      {40, 1, 0}, {40, 2, 0}, {40, 4, 0}, {40, 8, 0, true}, {12, 4, 0}, {12, 24, 0, false, k888}, {16, 8, 0},
      {64, 4, 0}, {64, 8, 1}, {40, 8, 1}, {124, 4, 2}, {40, 16, 0, false, k555}, {40, 24, 0, true, k888},
      {40, 32, 0, true, k888}, {40, 16, 3, false, k565}, {40, 16, 6, false, {0x0F00, 0x00F0, 0x000F}},  // ALPHABITFIELDS
      {40, 16, 3, false, {0x30, 0x0E, 0x01}}, {40, 16, 3, false, {0x38, 0xFFC0, 0x07}},
      {40, 32, 3, false, {0xFE000000, 0x01FFFF80, 0x7F}}, {52, 32, 3, false, {0xFF00, 0xFF0000, 0xFF000000}},
      {56, 16, 3, false, k565}, {108, 16, 3, true, k565}, {124, 32, 3, false, {0x3FF00000, 0xFFC00, 0x3FF}},
  };
  // clang-format on
  TempDir dir;
  const std::int32_t w = 67, h = 19;  // odd: rows of every depth need padding
  for (const Case& k : cases) {
    SCOPED_TRACE(::testing::Message() << k.headerSize << "-byte header, " << k.bitCount
                                      << " bits, compression " << k.compression);
    const auto colours = static_cast<std::uint32_t>(k.bitCount < 3 ? 1 << k.bitCount : 7);
    auto value = [&](std::int32_t c, std::int32_t r) {
      const std::uint32_t v = static_cast<std::uint32_t>(c * 7919 + r * 104729) * 2654435761u;
      if (k.bitCount <= 8) return (v >> 24) % colours;
      return r == 0 && c < 8 ? kEdges[c] : v ^ (v >> 15);
    };
    BmpFields f = Fields(w, k.topDown ? -h : h, k.bitCount, k.compression, {}, k.headerSize);
    f.masksInHeader = {k.masks[0], k.masks[1], k.masks[2], 0};  // read with BITFIELDS only
    if (k.compression >= 3 && k.headerSize == 40)
      f.masksAfterHeader.assign(f.masksInHeader.begin(), f.masksInHeader.end());
    if (k.bitCount <= 8) f.palette.assign(kPalette, kPalette + colours);
    f.pixels = k.compression == 1 || k.compression == 2
                   ? EncodeRle(w, h, k.compression == 2, value)
                   : PackRows(w, h, k.bitCount, k.topDown, value);
    PictureError error = PictureError::kNone;
    auto decoded = DecodeFile(dir.Write("p.bmp", BuildBmp(f)), &error);
    ASSERT_TRUE(decoded) << PictureErrorText(error);
    ASSERT_EQ(decoded->width * 1000 + decoded->height, w * 1000 + h);
    const auto bmp = ConvertPictureFile(dir.path() / "p.bmp", 0),
               other = ConvertPixels(*decoded, 0);
    ASSERT_TRUE(bmp.record && other.record);
    int wrong = 0;
    for (std::int32_t r = 0; r < h; ++r) {
      for (std::int32_t c = 0; c < w; ++c) {
        const std::uint32_t v = value(c, r) & (k.bitCount == 24 ? 0xFFFFFFu : 0xFFFFFFFFu);
        const Colour expected = k.bitCount <= 8 ? kPalette[v] : Scaled(v, k.masks);
        const bool dark = IsDarkPixel(expected) == 1;
        wrong += decoded->at(c, r) != expected || DotAt(bmp.record->bytes(), c, r) != dark ||
                 DotAt(other.record->bytes(), c, r) != dark;
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

// A valid picture, each case bending or breaking one thing: what is bent is read, what is
// broken refused with the reason.
TEST(BmpReader, ReadsBentFilesAndRefusesBrokenOnes) {
  auto with = [](const std::function<void(BmpFields&)>& change) {
    BmpFields f = Fields(4, 2, 8, 0, {R, G, B, W});  // shows W B G R / R G B W
    f.pixels = {0, 1, 2, 3, 3, 2, 1, 0};
    change(f);
    return BuildBmp(f);
  };
  const Bytes good = with([](BmpFields&) {});
  auto rle = [](std::uint16_t bitCount, Bytes stream) {  // 5 x 3, stored bottom-up
    BmpFields f = Fields(5, 3, bitCount, bitCount == 8 ? 1u : 2u, {R, G, B});
    f.pixels = std::move(stream);
    return BuildBmp(f);
  };
  // Pixels an RLE stream skips take palette colour 0: G, a move right, B, a move up, B, a
  // move to the edge, an end of line, a literal G B G (padded to 16 bits), an early end.
  const std::vector<Colour> skipped = {G, B, G, R, R, R, R, R, B, R, G, R, B, R, R};
  using E = PictureError;
  // clang-format off
  const std::vector<std::tuple<const char*, Bytes, PictureError, std::vector<Colour>>> cases = {
      {"index beyond a declared short palette", with([](BmpFields& f) { f.clrUsed = 2; }), E::kNone, {K, K, G, R, R, G, K, K}},
      {"last row without padding", with([](BmpFields& f) { f.width = 3; f.pixels = {0, 1, 2, 0, 3, 2, 1}; }), E::kNone, {W, B, G, R, G, B}},
      {"rle8 skips", rle(8, {1, 1, 0, 2, 1, 0, 1, 2, 0, 2, 0, 1, 1, 2, 0, 2, 1, 0, 0, 0, 0, 3, 1, 2, 1, 0, 0, 1}), E::kNone, skipped},
      {"rle4 skips", rle(4, {1, 0x11, 0, 2, 1, 0, 1, 0x22, 0, 2, 0, 1, 1, 0x22, 0, 2, 1, 0, 0, 0, 0, 3, 0x12, 0x10, 0, 1}), E::kNone, skipped},
      {"cut inside the info header", Bytes(good.begin(), good.begin() + 40), E::kTruncated, {}},
      {"cut inside the pixels", Bytes(good.begin(), good.end() - 1), E::kTruncated, {}},
      {"header size 66", with([](BmpFields& f) { f.headerSize = 66; }), E::kBadHeaderSize, {}},
      {"width 0", with([](BmpFields& f) { f.width = 0; }), E::kBadDimensions, {}},
      {"height INT32_MIN", with([](BmpFields& f) { f.height = INT32_MIN; }), E::kBadDimensions, {}},
      {"rle top-down", with([](BmpFields& f) { f.compression = 1; f.height = -2; }), E::kBadDimensions, {}},
      {"planes 2", with([](BmpFields& f) { f.planes = 2; }), E::kBadPlanes, {}},
      {"bit count 3", with([](BmpFields& f) { f.bitCount = 3; }), E::kBadBitCount, {}},
      {"embedded png", with([](BmpFields& f) { f.compression = 5; f.bitCount = 0; }), E::kUnsupportedCompression, {}},
      {"rle4 at 8 bits", with([](BmpFields& f) { f.compression = 2; }), E::kBadCompression, {}},
      {"bitfields at 24 bits", with([](BmpFields& f) { f.compression = 3; f.bitCount = 24; }), E::kBadCompression, {}},
      {"empty blue mask", with([](BmpFields& f) { f.compression = 3; f.bitCount = 16; f.masksAfterHeader = {0xFF00, 0xFF, 0}; }), E::kBadMasks, {}},
      {"overlapping masks", with([](BmpFields& f) { f.compression = 3; f.bitCount = 16; f.masksAfterHeader = {0xF800, 0xFE0, 0x1F}; }), E::kBadMasks, {}},
      {"mask with a hole", with([](BmpFields& f) { f.compression = 3; f.bitCount = 32; f.masksAfterHeader = {0xFF000000, 0xF0F000, 0xFF}; }), E::kBadMasks, {}},
      {"16-bit mask beyond 16 bits", with([](BmpFields& f) { f.compression = 3; f.bitCount = 16; f.masksAfterHeader = {0x1F0000, 0x7E0, 0x1F}; }), E::kBadMasks, {}},
      {"clrUsed 300 with 256 entries", with([](BmpFields& f) { f.palette.assign(256, R); f.clrUsed = 300; }), E::kBadPalette, {}},
      {"pixel offset inside the header", with([](BmpFields& f) { f.offBits = 20; }), E::kBadOffset, {}},
      {"pixel offset past the end", [&] { Bytes b = good; b[12] = 0x7F; return b; }(), E::kTruncated, {}},
      {"claims 2^31-1 squared at 32 bits", with([](BmpFields& f) { f.width = f.height = INT32_MAX; f.bitCount = 32; }), E::kTruncated, {}},
      {"rle runs adding up past the row end", rle(8, {3, 1, 3, 1, 0, 1}), E::kBadRle, {}},
      {"rle delta past the right edge", rle(8, {2, 1, 0, 2, 4, 0, 0, 1}), E::kBadRle, {}},
      {"rle delta past the top", rle(8, {0, 2, 0, 3, 0, 1}), E::kBadRle, {}},
      {"rle ends with the last row", rle(8, {0, 0, 0, 0, 0, 0, 4, 1, 0, 1}), E::kNone, std::vector<Colour>(15, R)},
      {"rle stream ends mid-picture", rle(8, {5, 1, 0, 0}), E::kTruncated, {}},
  };
  // clang-format on
  TempDir dir;
  for (const auto& [name, file, expectedError, expectedColours] : cases) {
    PictureError error = PictureError::kNone;
    const auto decoded = DecodeFile(dir.Write("p.bmp", file), &error);
    EXPECT_EQ(error, expectedError) << name << ": " << PictureErrorText(error);
    EXPECT_EQ(decoded ? decoded->pixels : std::vector<Colour>(), expectedColours) << name;
  }
  EXPECT_EQ(ConvertPictureFile(dir.path(), 0).error, PictureError::kNotAFile);  // a folder
}

#ifndef _WIN32
// An 8 x 8 RLE8 picture whose rows all end before the file does: 4 GiB of holes (end-of-line
// marks when read) follow, and a run at the very end that would leave the picture. Reading
// stops with the last row, so neither is ever read.
TEST(BmpReader, AnRlePictureEndsWithItsLastRowHoweverLongTheFile) {
  BmpFields f = Fields(8, 8, 8, 1, {W, K});
  f.pixels = EncodeRle(8, 8, false, [](std::int32_t c, std::int32_t r) { return (c + r) % 2; });
  f.pixels.resize(f.pixels.size() - 2);  // no end-of-bitmap mark
  const Bytes file = BuildBmp(f);
  TempDir dir;
  const std::filesystem::path path = dir.Write("sparse.bmp", file);
  const off_t offBits = file[10] + 256 * file[11];
  const off_t last = (off_t{1} << 32) - 2 - (((off_t{1} << 32) - offBits) % 2);
  const int fd = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, last), 0);
  ASSERT_EQ(::pwrite(fd, "\x05\x01", 2, last), 2);
  ::close(fd);
  const NvConversion converted = ConvertPictureFile(path, 0);
  ASSERT_TRUE(converted.record) << PictureErrorText(converted.error);
  for (std::int32_t r = 0; r < 8; ++r)
    for (std::int32_t c = 0; c < 8; ++c)
      EXPECT_EQ(DotAt(converted.record->bytes(), c, r), (c + r) % 2 == 1) << c << ", " << r;
}
#endif

}  // namespace
}  // namespace quillmark::test
