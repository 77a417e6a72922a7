// PNG and JPEG pictures against Pillow's decoding, and the conversion options against
// plain reference implementations of their rules.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "raster/Checksums.h"
#include "raster/PictureFile.h"
#include "raster/PngWriter.h"
#include "raster/Rendition.h"
#include "support/BmpTestFiles.h"
#include "support/Bytes.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>
#endif

// GCC says __SANITIZE_ADDRESS__, Clang __has_feature(address_sanitizer).
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLMARK_HAS_ASAN 1
#endif
#endif
#ifndef QUILLMARK_HAS_ASAN
#define QUILLMARK_HAS_ASAN 0
#endif

namespace quillmark::test {
namespace {

const std::filesystem::path kPictures =
    std::filesystem::path(QUILLMARK_SOURCE_DIR) / "tests/core/raster/data/pictures";

// The pictures made by data/pictures/make-pictures, each converted as its manifest line
// says, against the dots Pillow's decoding gives; cut short or garbled after the signature,
// each is refused for that reason. Pillow decodes JPEG with libjpeg-turbo, as the Linux
// build does; the Windows system decoder's IDCT and colour upsampling differ from it, so
// there a few dots near the threshold may come out the other way (at most 1 in 200 of a
// picture's dots; Wine's decoder turns 0.3 % of the 4:2:0 pictures' dots round, none of
// the others').
TEST(PictureFile, PngAndJpegPrintAsPillowDecodesThem) {
#ifdef _WIN32
  constexpr int kJpegTolerance = 200;
#else
  constexpr int kJpegTolerance = 0;
#endif
  std::ifstream manifest(kPictures / "manifest.tsv");
  std::string name;
  int widthBytes = 0, turn = 0, cases = 0;
  while (manifest >> name >> widthBytes >> turn) {
    SCOPED_TRACE(name + " " + std::to_string(widthBytes) + " " + std::to_string(turn));
    ++cases;
    std::ifstream pbm(
        kPictures / (name + "-" + std::to_string(widthBytes) + "-" + std::to_string(turn) + ".pbm"),
        std::ios::binary);
    std::string magic;
    int w = 0, h = 0;
    pbm >> magic >> w >> h;
    pbm.get();
    const std::string bits(std::istreambuf_iterator<char>(pbm), {});
    ConversionOptions options;
    options.rotate = turn;
    const NvConversion result = ConvertPicture(kPictures / name, widthBytes, options);
    ASSERT_TRUE(result.record) << PictureErrorText(result.error);
    const auto record = result.record->bytes();
    ASSERT_EQ(record[0] + 256 * record[1], (w + 7) / 8);
    ASSERT_EQ(record[2] + 256 * record[3], (h + 7) / 8);
    int wrong = 0;
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c)
        wrong +=
            DotAt(record, c, r) != (((bits[r * ((w + 7) / 8) + c / 8] >> (7 - c % 8)) & 1) != 0);
    const bool jpeg = name.ends_with(".jpg");
    EXPECT_LE(wrong, jpeg && kJpegTolerance > 0 ? w * h / kJpegTolerance : 0);

    const Bytes whole = *testing::ReadFileBytes((kPictures / name).string());
    Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * 3 / 5));
    MemoryByteSource cutSource(cut);
    EXPECT_EQ(ConvertPicture(cutSource, widthBytes, options).error, PictureError::kTruncated);
    Bytes garbled = whole;
    std::fill(garbled.begin() + 8, garbled.begin() + 40, 0x55);
    MemoryByteSource garbledSource(garbled);
    EXPECT_EQ(ConvertPicture(garbledSource, widthBytes, options).error,
              jpeg ? PictureError::kBadJpeg : PictureError::kBadPng);
  }
  EXPECT_EQ(cases, 14);
}

// Sizes the readers refuse before decoding. The system's decoder may hold a whole picture,
// so the Windows build refuses more than 2^26 pixels, judged from the file's header before
// the decoder sees it (a JPEG's frame header here, with no data behind it).
TEST(PictureFile, SizesRefusedBeforeDecoding) {
  // A 1 x 1 PNG whose header claims w x h.
  const auto png = [](std::uint32_t w, std::uint32_t h) {
    const PngImage image{
        1, 1, PngFormat::kGrey1, [](const void*, int, std::span<std::uint8_t>) {}, nullptr, 1};
    Bytes b = testing::BytesOf(EncodePng(image));
    for (int i = 0; i < 4; ++i) {
      b[16 + i] = static_cast<std::uint8_t>(w >> (24 - 8 * i));
      b[20 + i] = static_cast<std::uint8_t>(h >> (24 - 8 * i));
    }
    const std::uint32_t crc = Crc32(std::span(b).subspan(12, 17));
    for (int i = 0; i < 4; ++i)
      b[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    return b;
  };
  const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0xFF, 0xFF, 0xFF, 0xFF,
                      0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01};
#ifdef _WIN32
  const bool windows = true;
#else
  const bool windows = false;
#endif
  using E = PictureError;
  const std::tuple<const char*, Bytes, E> cases[] = {
      {"PNG 70000 x 1", png(70000, 1), E::kTooWide},
      {"PNG 9000 x 8000", png(9000, 8000), windows ? E::kTooLarge : E::kBadPng},
      {"JPEG 65535 x 65535", jpeg, windows ? E::kTooLarge : E::kTruncated},
  };
  for (const auto& [name, bytes, expected] : cases) {
    MemoryByteSource source(bytes);
    EXPECT_EQ(ConvertPicture(source, 72).error, expected) << name;
  }
}

#ifndef _WIN32

// A 9000 x 8000 PNG (288 MB of pixels) converts in a child whose address space may grow by
// no more than 48 MiB: only the kept rows are decoded, one at a time. The child then shows
// the limit holds by failing to allocate 64 MiB.
TEST(PictureFile, AHugePngConvertsInBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__) || QUILLMARK_HAS_ASAN
  GTEST_SKIP() << "address-space limits do not apply under AddressSanitizer";
#else
  TempDir dir;
  const auto path = dir.path() / "huge.png";
  const auto dark = [](std::uint32_t x, std::uint32_t y) { return (x / 3 + y / 5) % 2 == 0; };
  // Made by the core's own encoder, a row at a time.
  const PngImage huge{
      9000,
      8000,
      PngFormat::kRgba8,
      [](const void*, int y, std::span<std::uint8_t> line) {
        for (std::size_t x = 0; x < line.size(); ++x)
          line[x] = x % 4 == 3 || (x / 4 / 3 + static_cast<std::size_t>(y) / 5) % 2 ? 255 : 0;
      },
      nullptr,
      1};
  const std::optional<ByteBlock> png = EncodePng(huge);
  ASSERT_TRUE(png && testing::WriteFileBytes(path.string(), testing::BytesOf(*png)));
  const pid_t child = fork();
  if (child == 0) {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    statm >> pages;
    const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (48u << 20);
    const rlimit bound{limit, limit};
    if (setrlimit(RLIMIT_AS, &bound) != 0) _exit(4);
    const NvConversion result = ConvertPicture(path, 72);
    if (!result.record) _exit(1);
    for (std::uint32_t y = 0; y < 2304; y += 7)
      for (std::uint32_t x = 0; x < 576; x += 5)
        if (DotAt(result.record->bytes(), static_cast<int>(x), static_cast<int>(y)) != dark(x, y))
          _exit(2);
    void* big = std::malloc(64u << 20);
    _exit(big == nullptr ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
#endif
}

#endif  // _WIN32

// A picture of grey(x, y) levels 0 to 255, served without a file.
Decoded GreyPicture(int w, int h, const std::function<int(int, int)>& grey) {
  Decoded picture;
  picture.width = w;
  picture.height = h;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const auto g = static_cast<std::uint8_t>(grey(x, y));
      picture.pixels.push_back(MakeColour(g, g, g));
    }
  return picture;
}

// Floyd-Steinberg, Atkinson and ordered dithering written out over the whole picture, then
// turned; against the conversion on small noisy pictures, for every turn and with invert.
TEST(Dithering, MatchesAPlainReferenceForEveryTurn) {
  std::array<std::array<int, 8>, 8> bayer{};
  for (int size = 1; size < 8; size *= 2)  // M(2n) = [[4M, 4M + 2], [4M + 3, 4M + 1]]
    for (int y = size - 1; y >= 0; --y)
      for (int x = size - 1; x >= 0; --x) {
        const int m = 4 * bayer[y][x];
        bayer[y][x] = m, bayer[y][x + size] = m + 2;
        bayer[y + size][x] = m + 3, bayer[y + size][x + size] = m + 1;
      }
  const auto noise = [](int x, int y) { return (x * 73 + y * 151 + x * y * 37) % 256; };
  // Rows narrower than the runs the conversion works in, and taller than its blocks of rows.
  for (const auto& size : {std::pair{13, 11}, {1, 9}, {2, 3}, {40, 131}}) {
    const int w = size.first, h = size.second;
    for (Dither dither : {Dither::kFloydSteinberg, Dither::kAtkinson, Dither::kOrdered})
      for (int turn : {0, 90, 180, 270})
        for (bool invert : {false, true}) {
          SCOPED_TRACE(std::string(DitherName(dither)) + " " + std::to_string(turn) +
                       (invert ? " inverted " : " ") + std::to_string(w) + " x " +
                       std::to_string(h));
          const Decoded picture = GreyPicture(w, h, noise);
          const int t = 11000;
          std::vector<std::vector<double>> v(h, std::vector<double>(w));
          for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
              v[y][x] = invert ? 25500 - 100 * noise(x, y) : 100 * noise(x, y);
          std::vector<std::vector<bool>> dots(h, std::vector<bool>(w));
          const auto spread = [&](int x, int y, double e) {
            if (x >= 0 && x < w && y < h) v[y][x] += e;
          };
          for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
              if (dither == Dither::kOrdered) {
                dots[y][x] =
                    v[y][x] < t + std::floor(25500.0 * (2 * bayer[y % 8][x % 8] + 1) / 128) - 12750;
                continue;
              }
              dots[y][x] = v[y][x] < t;
              const double e = dots[y][x] ? v[y][x] : v[y][x] - 25500;
              if (dither == Dither::kFloydSteinberg) {
                const double e7 = std::floor(7 * e / 16), e3 = std::floor(3 * e / 16),
                             e5 = std::floor(5 * e / 16);
                spread(x + 1, y, e7), spread(x - 1, y + 1, e3), spread(x, y + 1, e5);
                spread(x + 1, y + 1, e - e7 - e3 - e5);
              } else {
                const double e8 = std::trunc(e / 8);
                for (auto [dx, dy] : {std::pair{1, 0}, {2, 0}, {-1, 1}, {0, 1}, {1, 1}, {0, 2}})
                  spread(x + dx, y + dy, e8);
              }
            }
          ConversionOptions options{110, dither, invert, false, turn};
          Decoded source = picture;
          const NvConversion result = ConvertWithOptions(source, 0, options);
          ASSERT_TRUE(result.record);
          const bool turned = turn == 90 || turn == 270;
          const int uw = turned ? h : w, uh = turned ? w : h;
          for (int y = 0; y < 8 * ((uh + 7) / 8); ++y)
            for (int x = 0; x < 8 * ((uw + 7) / 8); ++x) {
              bool expected = false;
              if (x < uw && y < uh) {
                const auto [sx, sy] = turn == 0     ? std::pair{x, y}
                                      : turn == 90  ? std::pair{y, h - 1 - x}
                                      : turn == 180 ? std::pair{w - 1 - x, h - 1 - y}
                                                    : std::pair{w - 1 - y, x};
                expected = dots[sy][sx];
              }
              ASSERT_EQ(DotAt(result.record->bytes(), x, y), expected) << x << ", " << y;
            }
        }
  }
}

// Grey ramps print with as many dark dots as each level is dark (a plain threshold prints
// them solid black or white). Atkinson's dithering passes on only 6/8 of the error, so it
// is darker in the shadows and lighter in the highlights, but still follows the ramp.
TEST(Dithering, DotDensityFollowsTheGreyLevel) {
  const int w = 576, h = 128, bands = 9;
  const auto level = [](int band) { return band * 255 / (bands - 1); };
  Decoded ramp = GreyPicture(w, h, [&](int x, int) { return level(x * bands / w); });
  const std::tuple<Dither, double, int> cases[] = {{Dither::kFloydSteinberg, 0.01, 0},
                                                   {Dither::kOrdered, 0.01, 0},
                                                   {Dither::kAtkinson, 0.09, 2}};
  for (auto [dither, tolerance, skip] : cases) {
    const NvConversion result = ConvertWithOptions(ramp, 72, {128, dither, false, false, 0});
    ASSERT_TRUE(result.record);
    double previous = 1;
    for (int band = 0; band < bands; ++band) {
      int darkDots = 0, all = 0;
      for (int x = band * w / bands; x < (band + 1) * w / bands; ++x)
        for (int y = 0; y < h; ++y, ++all)
          darkDots += DotAt(result.record->bytes(), x, y);
      const double density = double(darkDots) / all;
      EXPECT_LE(density, previous) << DitherName(dither) << " at grey " << level(band);
      previous = density;
      if (band >= skip && band < bands - skip) {
        EXPECT_NEAR(density, 1 - level(band) / 255.0, tolerance)
            << DitherName(dither) << " at grey " << level(band);
      }
    }
  }
}

// The size of the printed image with --fit and --rotate; and the averaging of --fit.
TEST(Rendition, FitAndRotateSizes) {
  struct Case {
    std::int32_t width, height, widthBytes;
    bool fit;
    int turn;
    std::int32_t w, h;
  };
  const Case cases[] = {
      {300, 120, 72, true, 0, 576, 230},       {300, 120, 72, true, 90, 576, 1440},
      {100, 5000, 72, true, 0, 46, 2304},      {100, 5000, 72, true, 270, 576, 12},
      {1, 1, 104, true, 0, 832, 832},          {3000, 9000, 0, true, 0, 768, 2304},
      {10000, 3000, 0, false, 90, 3000, 2304}, {10000, 3000, 0, false, 180, 8184, 2304},
      {700, 9, 72, false, 270, 9, 700},        {9, 700, 72, false, 90, 576, 9},
  };
  for (const Case& c : cases) {
    const auto plan =
        PlanRendition(c.width, c.height, c.widthBytes, {128, Dither::kNone, false, c.fit, c.turn});
    ASSERT_TRUE(plan);
    EXPECT_EQ(std::pair(plan->crop.w, plan->crop.h), std::pair(c.w, c.h))
        << c.width << " x " << c.height << (c.fit ? " fit" : "") << " turned " << c.turn;
  }
  // Black and white columns halved: every dot averages 127.5, just dark; and the same
  // averaging upward (a 3 x 2 picture over 576 x 384 dots) keeps its dark third.
  Decoded stripes = GreyPicture(1152, 16, [](int x, int) { return x % 2 ? 255 : 0; });
  const NvConversion halved = ConvertWithOptions(stripes, 72, {128, Dither::kNone, false, true, 0});
  ASSERT_TRUE(halved.record);
  for (int x = 0; x < 576; ++x)
    ASSERT_TRUE(DotAt(halved.record->bytes(), x, 5)) << x;
  Decoded tiny = GreyPicture(3, 2, [](int x, int) { return x == 1 ? 0 : 255; });
  const NvConversion grown = ConvertWithOptions(tiny, 72, {128, Dither::kNone, false, true, 0});
  ASSERT_TRUE(grown.record);
  for (int x = 0; x < 576; x += 7)
    EXPECT_EQ(DotAt(grown.record->bytes(), x, 200), x >= 192 && x < 384) << x;
}

}  // namespace
}  // namespace quillmark::test
